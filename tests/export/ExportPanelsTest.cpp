#include "ExportFixture.h"

#include "app/WindowController.h"
#include "export/ExportRules.h"
#include "platform/media/MediaMetadata.h"
#include "views/PreviewPanel.h"

#include <QFileDialog>
#include <QTest>

class ExportPanelsTest : public ExportTest {
protected:
    QFileDialog* openPanel() {
        QFileDialog* found = nullptr;
        testsupport::waitUntil([&] {
            for (auto* d : c->ui.window->findChildren<QFileDialog*>())
                if (d->isVisible()) found = d;
            return found != nullptr;
        });
        return found;
    }
    // The user goes to the file's folder, types its name and confirms.
    static void choosePath(QFileDialog* panel, const QString& path) {
        panel->setDirectory(QFileInfo(path).absolutePath());
        if (auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
        QMetaObject::invokeMethod(panel, "accept");
    }
    static QString proposed(QFileDialog* panel) {
        return panel ? QFileInfo(panel->selectedFiles().value(0)).completeBaseName() : QString();
    }
};

TEST_F(ExportPanelsTest, TheCompositionPanelProposesANameAndPresetsItsAccessory) {
    for (int i = 0; i < 3; ++i) addTrack();
    c->preferences.preferencesOutputFormat->setCurrentIndex(2);
    c->preferences.preferencesSampleRate->setCurrentIndex(1);
    c->preferences.preferencesBitrate->setCurrentIndex(3);
    auto* accessory = c->saveAccessoryView();
    accessory->saveAddToITunesLibraryCheck->setChecked(true);
    c->library.projectURL = QUrl::fromLocalFile(testsupport::tempDir() + "/Demo.trvproj");

    c->saveAudioFileFrom();
    QFileDialog* panel = openPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel, c->exporting.currentSavePanel.data());
    EXPECT_EQ(proposed(panel), "Demo - 3 Tracks");
    EXPECT_EQ(accessory->saveAudioFormatPopUpButton->currentText(), "wav");
    EXPECT_EQ(exportrules::sampleRateForIndex(accessory->saveAudioSampleRatePopUpButton->currentIndex()), 48000);
    EXPECT_EQ(exportrules::bitRateForIndex(accessory->saveAudioBitratePopUpButton->currentIndex()), 320000);
    EXPECT_FALSE(accessory->saveAddToITunesLibraryCheck->isChecked());
    EXPECT_FALSE(accessory->saveAddToTrevaluneLibraryCheck->isChecked());
    EXPECT_TRUE(accessory->isVisibleTo(panel));
    // The preselected format first; then the one chosen in the pop-up.
    EXPECT_EQ(panel->property("allowedFileTypes").toStringList(), (QStringList{"wav", "m4a", "aif", "caf"}));
    accessory->saveAudioFormatPopUpButton->setCurrentIndex(3);
    c->updateSavePanelAudioFormat();
    EXPECT_EQ(panel->property("allowedFileTypes").toStringList(), (QStringList{"caf", "m4a", "aif", "wav"}));
    panel->reject();
    endEvent();
    EXPECT_FALSE(c->exporting.exportIsRunning);

    tracks().clear();
    addTrack();
    c->saveAudioFileFrom();
    panel = openPanel();
    EXPECT_EQ(proposed(panel), "Demo - 1 Track");
    panel->reject();
    endEvent();
    c->metadataPopover()->metadataTitleTextField->setText("Night Drive");
    c->saveAudioFileFrom();
    panel = openPanel();
    EXPECT_EQ(proposed(panel), "Night Drive");
    panel->reject();
    endEvent();

    // Nothing while an export runs, nor without tracks.
    c->exporting.exportIsRunning = true;
    c->saveAudioFileFrom();
    c->saveAudioTrackFrom();
    endEvent();
    EXPECT_FALSE(c->exporting.currentSavePanel);
    c->exporting.exportIsRunning = false;
    tracks().clear();
    c->saveAudioFileFrom();
    endEvent();
    EXPECT_FALSE(c->exporting.currentSavePanel);
}

// A name typed without an extension is saved with the extension of the
// format the accessory shows, whichever format the preferences preselect.
TEST_F(ExportPanelsTest, ANameWithoutExtensionGetsThePreselectedFormats) {
    append(writeClicks("source.wav", 0.5, {0.1}));
    const QString folder = testsupport::tempDir();
    const struct {
        int format;
        const char* extension;
        const char* container;  // FFmpeg's name for what is written
    } cases[] = {{0, "m4a", "mov,mp4,m4a,3gp,3g2,mj2"}, {1, "aif", "aiff"}, {2, "wav", "wav"}, {3, "caf", "caf"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.extension);
        c->preferences.preferencesOutputFormat->setCurrentIndex(k.format);
        c->saveAudioFileFrom();
        QFileDialog* panel = openPanel();
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->property("allowedFileTypes").toStringList().value(0), k.extension);
        const QString name = QStringLiteral("pref%1").arg(QLatin1String(k.extension));
        choosePath(panel, folder + QLatin1Char('/') + name);
        const QString written = folder + QLatin1Char('/') + name + QLatin1Char('.') + QLatin1String(k.extension);
        // Renamed into place when complete.
        testsupport::waitUntil([&] { return QFileInfo::exists(written); }, 60000);
        ASSERT_TRUE(waitForEnd());
        pressOk();
        EXPECT_TRUE(QFileInfo::exists(written)) << QDir(folder).entryList(QDir::Files).join(u',').toStdString();
        auto asset = Asset::load(written);
        ASSERT_TRUE(asset);
        EXPECT_EQ(asset->formatName(), QLatin1String(k.container));
        waitForReadyItem();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 4);
}

TEST_F(ExportPanelsTest, TheTrackPanelProposesTheTrackNumberAndExportsIt) {
    append(writeClicks("first.wav", 0.5, {}));
    append(writeClicks("second.wav", 0.5, {0.2}));
    c->currentSelectedAudio = 1;
    c->saveAudioTrackFrom();
    QFileDialog* panel = openPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(proposed(panel), "Track 2");
    const QString path = testsupport::tempDir() + "/Track 2.m4a";
    choosePath(panel, path);
    ASSERT_TRUE(waitForEnd());
    pressOk();
    EXPECT_NEAR(peakNear(decode(path), 0.2), 0.2, 0.003);
    waitForReadyItem();

    // The preview shows the selected track's source.
    c->showQuickLookPanel();
    PreviewPanel* preview = c->windowController->previewPanel();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->nameLabel->text(), "second.wav");
    EXPECT_EQ(preview->lengthLabel->text(), "00:00:00");
    EXPECT_TRUE(preview->playButton->isEnabled());
}

// The finished sheet closes on Return: its "Ok" is the default button, which
// the running export's "Stop Processing" never is.
TEST_F(ExportPanelsTest, TheFinishedSheetClosesOnReturn) {
    append(writeClicks("return.wav", 0.5, {0.1}));
    c->saveAudioTrackFrom();
    QFileDialog* panel = openPanel();
    ASSERT_TRUE(panel);
    const QString path = testsupport::tempDir() + "/return.m4a";
    choosePath(panel, path);
    EXPECT_FALSE(c->progressSheet()->sheetButton->isDefault());
    ASSERT_TRUE(waitForEnd());
    ExportSheet* sheet = c->progressSheet();
    ASSERT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->sheetButton->isDefault());
    QTest::keyClick(sheet, Qt::Key_Return);
    endEvent();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(ExportPanelsTest, SaveAtTheQuitQuestionExportsAndQuitsWhenTheSheetCloses) {
    append(writeClicks("only.wav", 0.5, {0.1}));
    c->setDocumentEdited(true);
    answer = 0;  // "Save"
    EXPECT_EQ(c->askToSaveComposition(), AudioController::SaveAnswer::Save);
    QFileDialog* panel = openPanel();
    ASSERT_TRUE(panel);
    const QString path = testsupport::tempDir() + "/at quit.m4a";
    choosePath(panel, path);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(quits, 0);
    pressOk();
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(ExportPanelsTest, TheCompositionsMetadataGoesIntoTheFile) {
    append(writeClicks("meta.wav", 0.5, {}));
    MetadataPopover* popover = c->metadataPopover();
    c->showMetadataPopoverFrom();
    EXPECT_TRUE(popover->isVisible());
    popover->metadataTitleTextField->setText("Night Drive");
    popover->metadataArtistTextField->setText("Trevalune");
    popover->metadataCommentsTextField->setText("first take");
    QImage art(3000, 1500, QImage::Format_RGB32);
    art.fill(Qt::white);
    const QString artPath = testsupport::tempDir() + "/art.png";
    ASSERT_TRUE(art.save(artPath));
    ASSERT_TRUE(c->replaceMetadataArtwork(QUrl::fromLocalFile(artPath)));
    EXPECT_FALSE(c->replaceMetadataArtwork(QUrl::fromLocalFile(testsupport::tempDir() + "/none.png")));
    c->updateMetadataTextFieldFrom();
    EXPECT_TRUE(c->miniPlayer.playerTextField->text().startsWith("Night Drive - "));
    popover->hide();

    for (int format : {0, 2}) {
        choose(format, 0);
        const QString path = testsupport::tempDir() + (format == 0 ? "/tagged.m4a" : "/tagged.wav");
        c->saveAudioToURL(QUrl::fromLocalFile(path));
        ASSERT_TRUE(waitForEnd());
        pressOk();
        const MediaMetadata m = mediatags::read(path, format == 0 ? "mov,mp4,m4a,3gp,3g2,mj2" : "wav");
        EXPECT_EQ(m.title, "Night Drive");
        EXPECT_EQ(m.artist, "Trevalune");
        EXPECT_EQ(m.comment, "first take");
        QImage back;
        ASSERT_TRUE(back.loadFromData(m.artwork));
        EXPECT_EQ(back.size(), QSize(1400, 1400));
        EXPECT_LT(back.pixelColor(700, 100).lightness(), 20);   // the band
        EXPECT_GT(back.pixelColor(700, 700).lightness(), 235);  // the picture
        waitForReadyItem();
    }
    c->removeMetadataArtworkFrom();
    EXPECT_TRUE(popover->artwork().isNull());
    popover->metadataTitleTextField->clear();
    c->updateMetadataTextFieldFrom();
    EXPECT_TRUE(c->miniPlayer.playerTextField->text().startsWith("Untitled Composition - "));
}

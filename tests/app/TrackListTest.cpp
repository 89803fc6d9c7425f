#include "TrackListFixture.h"
#include "platform/units/Unit.h"

#include "views/FloatSlider.h"
#include "views/LineView.h"
#include "views/MusicView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMainWindow>
#include <QMimeData>

#include <algorithm>

namespace {

using TrackListCommandsTest = TrackListTest;

// The empty timeline every way of emptying the list leaves.
void expectEmptyState(TrackListTest& t, AudioController* c) {
    EXPECT_EQ(c->currentSelectedAudio.load(), kNoIndex);
    for (QLabel* label : {c->ui.leftTimeLabel, c->ui.middleTimeLabel, c->ui.rightTimeLabel,
                          c->ui.leftMiddleTimeLabel, c->ui.rightMiddleTimeLabel, c->ui.labelStart,
                          c->ui.labelEnd, c->miniPlayer.playerLabelStart, c->miniPlayer.playerLabelEnd})
        EXPECT_EQ(label->text(), QStringLiteral("00:00:00"));
    for (FloatSlider* s : {c->ui.audioSlider, c->miniPlayer.playerAudioSlider}) {
        EXPECT_EQ(s->floatValue(), 0);
        EXPECT_EQ(s->maxValue(), 0);
    }
    EXPECT_FLOAT_EQ(float(c->ui.sliderAudioMix->floatValue()), c->defaultValue("inputAudioMix"));
    EXPECT_FALSE(c->shell.viewControlsEnabled);
    EXPECT_FALSE(c->ui.sliderAudioMix->isEnabled());
    EXPECT_EQ(c->ui.audioView->height(), 0);
    EXPECT_EQ(c->ui.musicLeftView->height(), 0);
    (void)t;
}

// Every view of the row stands in the track's row and carries its index.
void expectRows(TrackListTest&, AudioController* c) {
    const auto& tracks = c->ui.audioView->audioTracks;
    ASSERT_FALSE(tracks.empty());
    const auto& first = *tracks[0].audioFilter;
    const int thumbnailOffset = first.imageView->y(), labelOffset = first.audioLabel->y();
    for (size_t i = 0; i < tracks.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& f = *tracks[i].audioFilter;
        auto* lane = AudioController::trackLaneOf(&f);
        ASSERT_TRUE(lane);
        EXPECT_EQ(lane->viewIndex, i);
        EXPECT_EQ(f.viewIndex(), i);
        EXPECT_EQ(qobject_cast<MusicView*>(f.imageView.data())->viewIndex, i);
        EXPECT_EQ(lane->y(), int(200 * i));
        EXPECT_EQ(f.imageView->y(), int(200 * i) + thumbnailOffset);
        EXPECT_EQ(f.audioLabel->y(), int(200 * i) + labelOffset);
        EXPECT_TRUE(lane->isVisibleTo(c->ui.audioView));
        EXPECT_TRUE(f.imageView->isVisibleTo(c->ui.musicLeftView));
    }
}

TEST_F(TrackListCommandsTest, RemovingTheOnlyTrackLeavesTheEmptyTimeline) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 2, 440));
    waitForReadyItem();
    c->removeAudioFileAtIndex(0);
    endEvent();
    EXPECT_TRUE(tracks().empty());
    expectEmptyState(*this, c);
    EXPECT_EQ(player->currentItem(), nullptr);
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 30, 1e-6);
    EXPECT_FALSE(a->audioDrawingView->isVisible());
    EXPECT_EQ(a->trackID, -1);

    // Back again: the labels and slider from the length, the playhead at 0.
    c->ui.lineView->globalLinePercent = 0.4;
    undo();
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_EQ(c->ui.audioSlider->maxValue(), 30);
    EXPECT_EQ(c->ui.lineView->globalLinePercent, 0);
    waitForReadyItem();
}

TEST_F(TrackListCommandsTest, RemovingAMiddleTrackAndPuttingItBack) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 2, 440));
    auto b = append(writeTone("b.wav", 3, 440));
    auto d3 = append(writeTone("c.wav", 4, 440));
    waitForReadyItem();
    // The middle track's own settings: an effect value and the stored
    // parameters of its units, which its next tap takes over.
    b->setValue(EffectInput::AudioMix, 0.25f);
    units::Unit* dynamics = b->getAudioUnitForType(3);
    ASSERT_TRUE(dynamics);
    ASSERT_EQ(dynamics->setParameter(7, -50.0f), units::Status::Ok);

    c->removeAudioFileAtIndex(1);
    endEvent();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_EQ(tracks()[1].audioFilter, d3);
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    expectRows(*this, c);
    EXPECT_EQ(c->ui.audioView->height(), 400);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);

    c->currentSelectedAudio = 0;
    c->ui.audioSlider->setFloatValue(2.0);
    undo();
    ASSERT_EQ(tracks().size(), 3u);
    EXPECT_EQ(tracks()[1].audioFilter, b);
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_FLOAT_EQ(b->value(EffectInput::AudioMix), 0.25f);
    EXPECT_FLOAT_EQ(float(c->ui.sliderAudioMix->floatValue()), 0.25f);
    const auto& kept = b->listenerParameters;
    auto stored = std::find_if(kept.begin(), kept.end(), [](const auto& p) { return p.type == 3 && p.parameterID == 7; });
    ASSERT_NE(stored, kept.end());
    EXPECT_FLOAT_EQ(stored->value, -50.0f);
    expectRows(*this, c);
    EXPECT_EQ(c->currentComposition->trackCount(), 3);
    waitForReadyItem();
    // The new item starts at its beginning, and the playhead and the
    // position slider with it.
    EXPECT_EQ(c->ui.lineView->linePercent, 0.0);
    EXPECT_FLOAT_EQ(float(c->ui.audioSlider->floatValue()), 0.0f);

    redo();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[1].audioFilter, d3);
    expectRows(*this, c);
}

TEST_F(TrackListCommandsTest, OutOfRangeIndicesDoNothing) {
    append(writeTone("a.wav", 2, 440));
    const int undos = c->undoManager()->undoCount();
    c->removeAudioFileAtIndex(1);
    c->removeAudioFileAtIndex(kNoIndex);
    EXPECT_FALSE(c->duplicateAudioFileAtIndex(5, nullptr, true, true));
    QString error;
    answer = 0;
    EXPECT_FALSE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(writeTone("b.wav", 1, 440)), 3, &error));
    endEvent();
    EXPECT_EQ(tracks().size(), 1u);
    EXPECT_EQ(c->undoManager()->undoCount(), undos);
}

TEST_F(TrackListCommandsTest, UndoingTheFirstImportRestoresTheEmptyStateAndLength) {
    c->shell.compositionDuration = MediaTime::fromSeconds(90.7, 44100);
    setFields("0", "0");  // the file's length is taken
    auto a = append(writeTone("a.wav", 5, 440));
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 5, 1e-3);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("0"), QStringLiteral("5")));
    waitForReadyItem();

    undo();
    EXPECT_TRUE(tracks().empty());
    expectEmptyState(*this, c);
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 90.7, 1e-3);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("1"), QStringLiteral("30")));
    EXPECT_EQ(c->ui.audioView->width(), int(90.7 * c->shell.scaleFactor));

    redo();
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 5, 1e-3);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("0"), QStringLiteral("5")));
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    expectRows(*this, c);
    waitForReadyItem();
}

TEST_F(TrackListCommandsTest, UndoingAnAppendOfSeveralSelectsTheLastAndRedoKeepsTheSelection) {
    setLength("0", "30");
    append(writeTone("a.wav", 2, 440));
    append(writeTone("b.wav", 2, 440));
    auto third = append(writeTone("c.wav", 2, 440));
    c->currentSelectedAudio = 0;
    undo();
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    c->currentSelectedAudio = 0;
    c->ui.lineView->globalLinePercent = 0.3;
    redo();
    ASSERT_EQ(tracks().size(), 3u);
    EXPECT_EQ(tracks()[2].audioFilter, third);
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    expectRows(*this, c);
}

// The undo of an append takes away the track that was appended, wherever
// it stands, and nothing when it is gone.
TEST_F(TrackListCommandsTest, UndoOfAnAppendFindsItsTrackByIdentity) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 2, 440));
    auto b = append(writeTone("b.wav", 2, 440));
    TrackUndoRecord ofA{tracks()[0], std::nullopt};
    c->undoManager()->registerUndo(c, [this, ofA] { c->removeAudioFileFromComposition(ofA); });
    endEvent();
    undo();
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioFilter, b);
    expectRows(*this, c);

    c->removeAllTracks();
    endEvent();
    c->undoManager()->registerUndo(c, [this, ofA] { c->removeAudioFileFromComposition(ofA); });
    endEvent();
    undo();  // the list is empty: nothing to take away
    EXPECT_TRUE(tracks().empty());
    (void)a;
}

TEST_F(TrackListCommandsTest, DuplicateIsAppendedSelectedAndUndone) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 2, 440));
    auto b = append(writeTone("b.wav", 3, 440));
    waitForReadyItem();
    a->setValue(EffectInput::AudioMix, 0.3f);
    a->filterBitmaps = {QImage(4, 4, QImage::Format_ARGB32)};
    tracks()[0].audioFloatData = QVector<float>(50, 0.25f);

    c->currentSelectedAudio = 0;
    c->duplicateAudioFileFrom();
    endEvent();
    ASSERT_EQ(tracks().size(), 3u);
    auto copy = tracks()[2].audioFilter;
    EXPECT_NE(copy, a);
    EXPECT_EQ(c->currentSelectedAudio.load(), 2u);
    EXPECT_EQ(tracks()[2].audioFloatData.constData(), tracks()[0].audioFloatData.constData());
    EXPECT_EQ(copy->filterBitmaps.first().cacheKey(), a->filterBitmaps.first().cacheKey());
    EXPECT_FLOAT_EQ(copy->value(EffectInput::AudioMix), 1.0f);
    EXPECT_FLOAT_EQ(a->value(EffectInput::AudioMix), 0.3f);
    EXPECT_EQ(text(copy->audioLabel), QStringLiteral("a.wav"));
    EXPECT_EQ(text(copy->audioSampleRateLabel), QStringLiteral("44.1 kHz"));
    EXPECT_EQ(text(copy->audioTimeLabel), QStringLiteral("00:00:02 / 00:00:02"));
    expectRows(*this, c);
    // The copy plays: it enters the composition with a new item.
    EXPECT_NE(copy->trackID, -1);
    EXPECT_EQ(c->currentComposition->trackCount(), 3);
    waitForReadyItem();

    undo();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_EQ(tracks()[1].audioFilter, b);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
}

TEST_F(TrackListCommandsTest, DuplicateOfAFileLongerThanTheComposition) {
    setLength("0", "10");
    const TrackRecord seed = recordOf(writeTone("long.wav", 25, 440));
    seed.audioFilter->nameOfSourceTrack = QStringLiteral("Long take");
    ASSERT_TRUE(c->duplicateAudioFileAtIndex(kNoIndex, &seed, true, true));
    auto f = tracks().back().audioFilter;
    EXPECT_NEAR(f->currentTimeRange().duration.seconds(), 10, 1e-3);
    EXPECT_NEAR(f->audioDurationInPercent, 10.0 / 25.0, 0.01);
    EXPECT_EQ(lane(0)->width(), int(std::lround(c->ui.audioView->width() * 2.5)));
    EXPECT_EQ(text(f->audioTimeLabel), QStringLiteral("00:00:10 / 00:00:25"));
    EXPECT_EQ(text(f->audioLabel), QStringLiteral("Long take"));
    waitForReadyItem();
    EXPECT_NEAR(player->currentItem()->duration().seconds(), 10, 0.05);
}

TEST_F(TrackListCommandsTest, DuplicateRefusedUntilTheSourceLengthIsKnown) {
    TrackRecord seed = recordOf(writeTone("a.wav", 2, 440));
    seed.audioFilter->playerAsset.reset();  // its media has not loaded yet
    EXPECT_FALSE(c->duplicateAudioFileAtIndex(kNoIndex, &seed, true, true));
    seed.audioFilter->durationInSeconds = std::nan("");
    EXPECT_FALSE(c->duplicateAudioFileAtIndex(kNoIndex, &seed, false, false));
    EXPECT_TRUE(tracks().empty());
    EXPECT_FALSE(c->undoManager()->canUndo());
}

TEST_F(TrackListCommandsTest, SampleRateLabels) {
    const std::pair<double, const char*> cases[] = {
        {44100, "44.1 kHz"}, {48000, "48 kHz"}, {96000, "96 kHz"}, {22050, "22 kHz"},
        {0, "?"},            {32000, "32.0 kHz"}, {88200, "88.2 kHz"},
    };
    for (const auto& [rate, expected] : cases)
        EXPECT_EQ(AudioController::sampleRateText(rate), QString::fromLatin1(expected)) << rate;
}

TEST_F(TrackListCommandsTest, ReplacementKeepsSettingsAndChangesTheSound) {
    setLength("0", "10");
    auto a = append(writeTone("low.wav", 4, 440));
    waitForReadyItem();
    a->setValue(EffectInput::AudioMix, 0.8f);
    EXPECT_NEAR(heardFrequency(1, 2), 440, 5);
    endEvent();  // the offline render's tap set-up
    a->listenerParameters = {{3, 1, 7, 0.5f}};
    const int undos = c->undoManager()->undoCount();
    c->library.projectChangeCount = 0;  // as after a save
    c->setDocumentEdited(false);

    QString error;
    ASSERT_TRUE(replaceFile(writeTone("high.wav", 6, 1000, 48000), 0, &error)) << error.toStdString();
    EXPECT_TRUE(c->isDocumentEdited()) << "a quit must ask to save the new file";
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_FLOAT_EQ(a->value(EffectInput::AudioMix), 0.8f);
    EXPECT_EQ(a->listenerParameters.size(), 1u);
    EXPECT_NEAR(a->durationInSeconds, 6, 1e-6);
    EXPECT_EQ(tracks()[0].audioURL.fileName(), QStringLiteral("high.wav"));
    EXPECT_EQ(tracks()[0].audioFloatData.size(), 48000);  // one value every 6 frames
    EXPECT_EQ(text(a->audioLabel), QStringLiteral("high.wav"));
    EXPECT_EQ(text(a->audioSampleRateLabel), QStringLiteral("48 kHz"));
    EXPECT_EQ(text(a->audioTimeLabel), QStringLiteral("00:00:06 / 00:00:06"));
    EXPECT_EQ(c->undoManager()->undoCount(), undos);
    waitForReadyItem();
    EXPECT_NEAR(heardFrequency(1, 2), 1000, 10);
}

TEST_F(TrackListCommandsTest, BadReplacementChangesNothingAndSaysWhy) {
    setLength("0", "10");
    auto a = append(writeTone("a.wav", 4, 440));
    waitForReadyItem();
    const QString dir = testsupport::tempDir();
    QFile notes(dir + QStringLiteral("/notes.wav"));
    notes.open(QIODevice::WriteOnly);
    notes.write("not a sound at all");
    notes.close();
    QFile empty(dir + QStringLiteral("/empty.wav"));
    empty.open(QIODevice::WriteOnly);
    empty.close();
    const TrackRecord before = tracks()[0];
    for (const QString& path : {dir + QStringLiteral("/missing.wav"), notes.fileName(), empty.fileName()}) {
        SCOPED_TRACE(path.toStdString());
        alerts.clear();
        QString error;
        EXPECT_FALSE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(path), 0, &error));
        EXPECT_FALSE(error.isEmpty());
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(tracks()[0].audioURL, before.audioURL);
        EXPECT_EQ(tracks()[0].audioFloatData.constData(), before.audioFloatData.constData());
        EXPECT_NEAR(a->durationInSeconds, 4, 1e-6);
        EXPECT_EQ(text(a->audioLabel), QStringLiteral("a.wav"));
        EXPECT_NE(a->trackID, -1);
    }
}

// A replacement is read off the main thread; what the user does meanwhile
// comes first: a newer replacement of the same track, or the track's removal.
TEST_F(TrackListCommandsTest, AReplacementStillBeingReadGivesWayToWhatCameAfter) {
    setLength("0", "10");
    append(writeTone("a.wav", 2, 440));
    append(writeTone("b.wav", 2, 440));
    waitForReadyItem();
    alerts.clear();
    ASSERT_TRUE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(writeTone("first.wav", 8, 1000)), 0));
    ASSERT_TRUE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(writeTone("second.wav", 3, 660)), 0));
    ASSERT_TRUE(c->replaceAudioFileInComposition(QUrl::fromLocalFile(writeTone("third.wav", 5, 880)), 1));
    c->removeAudioFileAtIndex(1);
    ASSERT_TRUE(testsupport::waitUntil([&] { return c->imports.tracksReading == 0; }));
    endEvent();
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_EQ(tracks()[0].audioURL.fileName(), QStringLiteral("second.wav"));
    EXPECT_NEAR(tracks()[0].audioFilter->durationInSeconds, 3, 1e-6);
    EXPECT_TRUE(alerts.empty());
    // The removed track comes back as it was removed.
    undo();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[1].audioURL.fileName(), QStringLiteral("b.wav"));
    EXPECT_NEAR(tracks()[1].audioFilter->durationInSeconds, 2, 1e-6);
}

// A file dropped on a thumbnail replaces that thumbnail's track, whichever
// track was selected.
TEST_F(TrackListCommandsTest, DropOnAThumbnailReplacesItsOwnTrack) {
    setLength("0", "10");
    append(writeTone("a.wav", 2, 440));
    auto b = append(writeTone("b.wav", 2, 440));
    waitForReadyItem();
    c->currentSelectedAudio = 0;
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(writeTone("dropped.wav", 3, 1000))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(b->imageView.data(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(b->imageView.data(), &drop);
    ASSERT_TRUE(testsupport::waitUntil([&] { return tracks()[1].audioURL.fileName() == QStringLiteral("dropped.wav"); }));
    EXPECT_EQ(tracks()[0].audioURL.fileName(), QStringLiteral("a.wav"));
    EXPECT_EQ(c->currentSelectedAudio.load(), 1u);
    EXPECT_NEAR(b->durationInSeconds, 3, 1e-6);
}

TEST_F(TrackListCommandsTest, ShortReplacementSamplesEveryFrame) {
    setLength("0", "10");
    append(writeTone("a.wav", 2, 440));
    ASSERT_TRUE(replaceFile(writeTone("blip.wav", 0.25, 440), 0));
    EXPECT_EQ(tracks()[0].audioFloatData.size(), 11025);
}

TEST_F(TrackListCommandsTest, RemovingAllTracksAndPuttingThemBack) {
    setLength("0", "30");
    auto a = append(writeTone("a.wav", 2, 440));
    auto b = append(writeTone("b.wav", 3, 440));
    waitForReadyItem();
    c->setDocumentEdited(true);
    countItemChanges();
    c->removeAllTracks();
    endEvent();
    EXPECT_TRUE(tracks().empty());
    expectEmptyState(*this, c);
    EXPECT_FALSE(c->isDocumentEdited());
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 30, 1e-6);
    EXPECT_EQ(c->currentComposition->trackCount(), 0);
    EXPECT_EQ(itemChanges, 0);

    c->ui.lineView->globalLinePercent = 0.5;
    undo();
    ASSERT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[0].audioFilter, a);
    EXPECT_EQ(tracks()[1].audioFilter, b);
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    EXPECT_EQ(c->ui.audioSlider->maxValue(), 30);
    EXPECT_EQ(c->ui.lineView->globalLinePercent, 0);
    EXPECT_EQ(itemChanges, 1);
    EXPECT_EQ(c->currentComposition->trackCount(), 2);
    expectRows(*this, c);
    waitForReadyItem();
    EXPECT_EQ(player->rate(), 0);

    redo();
    EXPECT_TRUE(tracks().empty());
}

TEST_F(TrackListCommandsTest, ClosingWithoutAProjectAsksNothingAndCanBeUndone) {
    append(writeTone("a.wav", 2, 440));
    c->closeCompositionFrom(true);
    endEvent();
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(tracks().empty());
    undo();
    EXPECT_EQ(tracks().size(), 1u);
}

TEST_F(TrackListCommandsTest, ClosingAProjectAsksAndForgetsItsHistory) {
    append(writeTone("a.wav", 2, 440));
    const QUrl project = QUrl::fromLocalFile(testsupport::tempDir() + QStringLiteral("/Song.trvproj"));
    c->library.projectURL = project;
    c->library.projectChangeCount = 3;

    c->audioUnitPanelUndoManager()->registerUndo(c, [] {});
    endEvent();
    answer = 1;  // "Cancel"
    c->closeCompositionFrom(true);
    endEvent();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, QStringLiteral("Do you want to close the current project?"));
    EXPECT_EQ(alerts[0].informativeText, QStringLiteral("Project name: Song."));
    EXPECT_EQ(alerts[0].buttons, (QStringList{QStringLiteral("Ok"), QStringLiteral("Cancel")}));
    EXPECT_EQ(tracks().size(), 1u);
    EXPECT_EQ(c->library.projectURL, project);
    EXPECT_TRUE(c->undoManager()->canUndo());
    EXPECT_TRUE(c->audioUnitPanelUndoManager()->canUndo());

    answer = 0;  // "Ok"
    c->closeCompositionFrom(true);
    endEvent();
    EXPECT_TRUE(tracks().empty());
    EXPECT_TRUE(c->library.projectURL.isEmpty());
    EXPECT_EQ(c->library.projectChangeCount, 0u);
    EXPECT_FALSE(c->undoManager()->canUndo());
    EXPECT_FALSE(c->undoManager()->canRedo());
    EXPECT_FALSE(c->audioUnitPanelUndoManager()->canUndo());
    EXPECT_EQ(c->ui.window->windowTitle(), QStringLiteral("Trevalune[*]"));  // the edited mark still shows
    EXPECT_FALSE(c->isDocumentEdited());

    // Project loading closes without asking.
    append(writeTone("b.wav", 2, 440));
    c->library.projectURL = project;
    alerts.clear();
    c->closeCompositionFrom(false);
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(tracks().empty());
}

TEST_F(TrackListCommandsTest, MenuCommandsReachTheSelectedTrack) {
    setLength("0", "30");
    append(writeTone("a.wav", 2, 440));
    append(writeTone("b.wav", 2, 440));
    waitForReadyItem();
    auto* remove = c->ui.window->findChild<QAction*>(QStringLiteral("removeTrackAction"));
    auto* duplicate = c->ui.window->findChild<QAction*>(QStringLiteral("duplicateTrackAction"));
    ASSERT_TRUE(remove && duplicate);
    c->currentSelectedAudio = 1;
    duplicate->trigger();
    endEvent();
    EXPECT_EQ(tracks().size(), 3u);
    waitForReadyItem();
    c->currentSelectedAudio = 0;
    remove->trigger();
    endEvent();
    EXPECT_EQ(tracks().size(), 2u);
    EXPECT_EQ(tracks()[0].audioURL.fileName(), QStringLiteral("b.wav"));
    // While the controller is busy the commands wait.
    c->shell.audioControllerIsWorking = true;
    remove->trigger();
    EXPECT_EQ(tracks().size(), 2u);
}

}  // namespace

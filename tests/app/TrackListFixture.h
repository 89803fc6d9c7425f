#pragma once

#include "ControllerFixture.h"

#include "engine/MusicFilter.h"
#include "library/ProjectLoading.h"
#include "platform/core/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "support/Signals.h"
#include "views/NumberTextField.h"
#include "views/AudioDrawingView.h"
#include "views/AudioUnitPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>

// The main interface with real tracks: generated WAV files added as the
// clipboard's paste adds them (a copy of a record appended last, with undo).
class TrackListTest : public ControllerTest {
protected:
    // A stereo 16-bit WAV of `seconds` of a sine at `frequency` Hz, at a
    // quarter of full scale.
    static QString writeTone(const QString& name, double seconds, double frequency, int rate = 44100) {
        using testsupport::SampleFormat;
        return testsupport::writeTone(name, seconds, frequency,
                                      {.rate = rate, .amplitude = 8000.0 / 32767, .format = SampleFormat::Pcm16});
    }

    // A clipboard record of a file: its track object knows its media and length.
    static TrackRecord recordOf(const QString& path) {
        auto asset = Asset::load(path);
        EXPECT_TRUE(asset) << path.toStdString();
        auto f = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        f->setDefaults();
        if (asset) {
            f->playerAsset = asset;
            f->audioTrack = asset->tracksWithMediaType(MediaType::Audio).front();
            f->durationInSeconds = asset->duration().seconds();
            f->audioTrackSampleRate = f->audioTrack->sampleRate();
        }
        return TrackRecord{QUrl::fromLocalFile(path), f, QVector<float>(100, 0.5f)};
    }

    // Imports the file as the user does and waits until its track has taken
    // its media up; its undo is a group of its own.
    std::shared_ptr<MusicFilter> append(const QString& path) {
        const size_t before = tracks().size();
        c->addAudioFileToComposition(QUrl::fromLocalFile(path));
        EXPECT_TRUE(testsupport::waitUntil([&] {
            return tracks().size() == before + 1 && c->imports.tracksReading == 0 &&
                   tracks().back().audioFilter->hasPlayerAsset();
        }));
        endEvent();
        return tracks().back().audioFilter;
    }

    // Replaces track `index`'s file as the user does and waits until the
    // new file has been read and put in place; false, with the reason, when
    // the file was refused at once.
    bool replaceFile(const QString& path, quint64 index, QString* error = nullptr) {
        if (!c->replaceAudioFileInComposition(QUrl::fromLocalFile(path), index, error)) return false;
        EXPECT_TRUE(testsupport::waitUntil([&] { return c->imports.tracksReading == 0; }));
        endEvent();
        return true;
    }

    // New player items given to the player (none counts as one too).
    int itemChanges = 0;
    void countItemChanges() {
        QObject::connect(player, &Player::currentItemChanged, c, [this] { ++itemChanges; });
    }

    void endEvent() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void undo() {
        c->undoManager()->undo();
        endEvent();
    }
    void redo() {
        c->undoManager()->redo();
        endEvent();
    }
    void waitForReadyItem() {
        ASSERT_TRUE(testsupport::waitUntil([&] {
            auto* item = player->currentItem();
            return item && item->status() == PlayerItem::Status::ReadyToPlay && c->shell.viewControlsEnabled &&
                   !player->isPreparingRenderer();
        }));
    }

    TrackList& tracks() { return c->ui.audioView->audioTracks; }
    AudioDrawingView* lane(size_t i) { return AudioController::trackLaneOf(tracks()[i].audioFilter.get()); }
    static QString text(QWidget* label) {
        auto* l = qobject_cast<QLabel*>(label);
        return l ? l->text() : QString();
    }
    void setFields(const QString& minutes, const QString& seconds) {
        c->ui.textFieldDurationMinutes->setText(minutes);
        c->ui.textFieldDurationSeconds->setText(seconds);
    }
    // The composition's length set through the fields, as the user does.
    void setLength(const QString& minutes, const QString& seconds) {
        setFields(minutes, seconds);
        c->updateCompositionDuration();
        endEvent();
    }
    std::pair<QString, QString> fields() const {
        return {c->ui.textFieldDurationMinutes->text(), c->ui.textFieldDurationSeconds->text()};
    }

    // The offline renders below share the tracks' taps with the player.
    // While paused, its render thread still feeds the taps when it takes up
    // a new item's first position or a seek: wait for a loading item to be
    // ready and for that to be done, so that a render never runs the units
    // at the same time as the player. (While playing, both run them.)
    void waitForIdlePlayer() {
        if (!player || player->rate() != 0) return;
        EXPECT_TRUE(testsupport::waitUntil([&] {
            PlayerItem* item = player->currentItem();
            return (!item || item->status() != PlayerItem::Status::Unknown) && player->isRenderingIdle();
        }));
    }

    // The left channel of the composition's mix rendered offline, or of
    // the one track `only` when it is given.
    std::vector<float> renderedLeft(const MusicFilter* only = nullptr) {
        waitForIdlePlayer();
        std::vector<float> left;
        auto reader = AssetReader::create(c->currentComposition->copy());
        if (!reader) return left;
        std::vector<int32_t> ids;
        for (const auto* t : c->currentComposition->tracks())
            if (!only || t->trackID() == only->trackID) ids.push_back(t->trackID());
        auto out = std::make_shared<AssetReaderAudioMixOutput>(ids, AssetReaderAudioMixOutput::Settings{44100, 2});
        out->setAudioMix(c->currentAudioMix->copy());
        reader->addOutput(out);
        if (!reader->startReading()) return left;
        while (auto b = out->copyNextSampleBuffer()) left.insert(left.end(), b->left.begin(), b->left.end());
        return left;
    }

    // The track's tap is prepared and its plug-in pop-up made.
    void prepare(MusicFilter* t) {
        (void)renderedLeft();
        ASSERT_TRUE(testsupport::waitUntil([&] { return t->pluginsPopUpButton != nullptr; }));
        t->prepareTapForProcessing(t->mixInputTap().get());
        endEvent();
    }
    // The sampler heads the track's chain; the track has its MIDI manager.
    void addSampler(MusicFilter* t) {
        prepare(t);
        c->currentSelectedAudio = uint64_t(tracks().indexOf(t));
        c->createAUSamplerFrom(t);
        ASSERT_TRUE(testsupport::waitUntil([&] { return t->midiManager != nullptr; }));
        endEvent();
    }

    // Saves the composition as a project folder; false, with the reason,
    // when it cannot be saved.
    bool save(const QString& path, QString* error = nullptr) {
        QString why;
        const bool ok = c->saveProjectToURL(QUrl::fromLocalFile(path), &why);
        if (error) *error = why;
        return ok;
    }

    // Opens the folder and waits until every track's units have their values
    // and the player's item is ready.
    void load(const QString& path) {
        c->loadTrackToCompositionForProject(QUrl::fromLocalFile(path));
        waitLoaded();
    }
    void waitLoaded() {
        ASSERT_TRUE(testsupport::waitUntil([&] { return c->projectLoading && c->projectLoading->finished; }, 20000));
        ASSERT_TRUE(testsupport::waitUntil([&] { return c->tapCounter() == 0 && !c->loadTapFromProject(); }, 20000));
        waitForReadyItem();
        endEvent();
    }

    // The index of the track's plug-in whose name ends with `suffix`, or -1.
    static int pluginIndex(const MusicFilter* t, const QString& suffix) {
        for (int i = 0; i < t->pluginsArray().size(); ++i)
            if (t->pluginsArray()[i].audioUnitName.endsWith(suffix)) return i;
        return -1;
    }
    // Switches the plug-in on as the user does (its pop-up and check box)
    // and closes the panel that opens; its unit, or null. A player item
    // still being built when the box is ticked (the last import's) prepares
    // the track's tap again, and a tap prepared again makes its plug-ins
    // again: the unit is the one the track holds once the item is ready and
    // no plug-in of the track is being made.
    units::Unit* switchOnPlugin(MusicFilter* t, const QString& suffix) {
        EXPECT_TRUE(testsupport::waitUntil([&] { return t->pluginsPopUpButton != nullptr; }));
        const int i = pluginIndex(t, suffix);
        EXPECT_GE(i, 0) << suffix.toStdString();
        if (i < 0) return nullptr;
        c->currentSelectedAudio = c->indexOfTrack(t);
        qobject_cast<QComboBox*>(t->pluginsPopUpButton.data())->setCurrentIndex(i);
        qobject_cast<QCheckBox*>(t->pluginsCheckButton.data())->click();
        EXPECT_TRUE(testsupport::waitUntil([&] { return t->pluginsArray()[i].audioUnitPointerSet; }));
        endEvent();
        if (c->audioUnitPanel()) c->audioUnitPanel()->close();
        endEvent();
        waitForReadyItem();
        endEvent();
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return t->pluginsArray()[i].audioUnitPointerSet && t->pluginsToEnable == 0; }));
        return t->pluginsArray()[i].audioUnit;
    }

    // The strongest frequency of the rendered left channel over `seconds`
    // from `from`.
    double heardFrequency(double from, double seconds) {
        const std::vector<float> left = renderedLeft();
        const size_t a = size_t(from * 44100), n = size_t(seconds * 44100);
        if (left.size() < a + n) return -1;
        return testsupport::peakFrequency(left.data() + a, n, 44100);
    }
};

// The same with the main window shown at a size that fits every panel, for
// tests that click and drag in it.
class ShownTrackListTest : public TrackListTest {
protected:
    void SetUp() override {
        TrackListTest::SetUp();
        c->ui.window->resize(1400, 900);
        c->ui.window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(c->ui.window));
    }
};

#pragma once

#include "app/Alerts.h"
#include "app/MainInterface.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/Player.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "views/AudioView.h"

#include <gtest/gtest.h>

#include <vector>

// The whole main interface, loaded as the application loads it, with a
// player on the default output (the test JACK server), the questions
// answered by the test and quitting counted.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto device = AudioOutput::createDefault();
        ASSERT_NE(device->name(), "No output") << "the test JACK server should be there";
        auto real = std::make_unique<Player>(std::move(device));
        player = real.get();
        rate = int(player->outputSampleRate());
        interface = loadMainInterface(std::move(real));
        c = interface->audioController.get();
        d = interface->appDelegate.get();
        w = interface->windowController.get();
        d->quitApplication = [this] { ++quits; };
        setAlertRunner([this](QWidget*, const AlertRequest& request) {
            alerts.push_back(request);
            return answer;
        });
    }
    void TearDown() override { setAlertRunner({}); }

    void addTrack() {
        c->ui.audioView->audioTracks.push_back(
            TrackRecord{QUrl::fromLocalFile(QStringLiteral("/tmp/track.wav")), nullptr, {}});
    }

    // An item over `seconds` of a quiet tone at the output's rate.
    std::shared_ptr<PlayerItem> makeItem(double seconds) {
        const auto frames = static_cast<size_t>(seconds * rate);
        std::vector<float> samples(frames);
        for (size_t i = 0; i < frames; ++i) samples[i] = 0.05f * float((i % 100) / 50.0 - 1.0);
        return PlayerItem::create(testsupport::oneTrackComposition(
            AssetTrack::fromDecodedSource(DecodedSource::fromBuffers({samples}, rate))));
    }

    // An item whose source cannot be decoded.
    std::shared_ptr<PlayerItem> makeBrokenItem() {
        return PlayerItem::create(
            testsupport::oneTrackComposition(testsupport::undecodableTrack(QStringLiteral("cannot decode"))));
    }

    // One track in a composition of `seconds`, its player item ready and the
    // controls unlocked.
    void readyComposition(double seconds) {
        c->shell.compositionDuration = MediaTime::fromSeconds(seconds, rate);
        c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
        addTrack();
        auto item = makeItem(seconds);
        player->replaceCurrentItem(item);
        ASSERT_TRUE(testsupport::waitUntil([&] {
            return item->status() == PlayerItem::Status::ReadyToPlay && c->shell.viewControlsEnabled;
        }));
    }

    // Seeks through the controller and waits for the controls to unlock.
    void seekAndWait(double seconds) {
        c->updateCurrentTime(seconds);
        ASSERT_TRUE(testsupport::waitUntil([&] { return !c->shell.audioControllerIsWorking; }));
    }

    std::unique_ptr<MainInterface> interface;
    Player* player = nullptr;
    int rate = 48000;
    AudioController* c = nullptr;
    AppDelegate* d = nullptr;
    WindowController* w = nullptr;
    std::vector<AlertRequest> alerts;
    int answer = -1;
    int quits = 0;
};

#pragma once

#include "SimulatedPlayer.h"
#include "app/Alerts.h"
#include "app/MainInterface.h"
#include "views/AudioView.h"

#include <gtest/gtest.h>

#include <vector>

// The whole main interface, loaded as the application loads it, with a
// simulated player, the questions answered by the test and quitting counted.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto simulated = std::make_unique<SimulatedPlayer>();
        player = simulated.get();
        interface = loadMainInterface(std::move(simulated));
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
    // One track in a composition of `seconds`, its player item ready.
    void readyComposition(double seconds) {
        c->shell.compositionDuration = MediaTime::fromSeconds(seconds, 44100);
        c->setupAudioSliderWithTotalTime(c->shell.compositionDuration);
        addTrack();
        player->setItem(true, seconds);
        player->setStatus(TransportPlayer::StatusReadyToPlay);
    }

    std::unique_ptr<MainInterface> interface;
    SimulatedPlayer* player = nullptr;
    AudioController* c = nullptr;
    AppDelegate* d = nullptr;
    WindowController* w = nullptr;
    std::vector<AlertRequest> alerts;
    int answer = -1;
    int quits = 0;
};

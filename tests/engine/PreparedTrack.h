#pragma once

#include "EngineTestSupport.h"
#include "StandInUnits.h"

#include "platform/core/UndoManager.h"
#include "views/UnitViews.h"
#include "support/Signals.h"
#include "support/TestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

// A controller with a unit panel undo manager that notes what the track asks of it.
class PanelController : public TestController {
public:
    UndoManager undo;
    std::vector<std::string> calls;
    int resetMixCalls = 0;
    int updateAudioUnitsCalls = 0;
    UndoManager* audioUnitPanelUndoManager() override { return &undo; }
    UnitViewFactory* unitViewFactory() override { return &GenericUnitViewFactory::shared(); }
    void createPopUpButtonForFilter(MusicFilter*) override { calls.push_back("createPopUpButton"); }
    void enablePluginsNameForFilter(MusicFilter*) override { calls.push_back("enablePluginsName"); }
    void resetPlayerItemAudioMixForFilter(MusicFilter*) override { ++resetMixCalls; }
    void updateAudioUnitsForFilter(MusicFilter*) override { ++updateAudioUnitsCalls; }
    int count(const std::string& call) const { return int(std::count(calls.begin(), calls.end(), call)); }
};

// A track of a 4 s tone in a 60 s composition whose tap has been prepared
// by a renderer and set up from the track on the main thread.
struct PreparedTrack {
    Session s;
    PanelController controller;
    std::shared_ptr<MusicFilter> track;
    std::shared_ptr<ProcessingTap> tap;
    std::unique_ptr<TapDriver> driver;

    explicit PreparedTrack(const std::function<void(MusicFilter&, PanelController&)>& setUp = {}) {
        ensureBuiltInUnits();
        static std::shared_ptr<Asset> asset = loadAsset(testsupport::writeTone("prepared.wav", 4, 440));
        track = s.makeTrack(asset);
        track->setAudioController(&controller);
        if (setUp) setUp(*track, controller);
        s.insert(*track, 60);
        tap = s.mix->inputParameters().back()->audioTapProcessor();
        const int before = controller.count("enablePluginsName");
        driver = std::make_unique<TapDriver>(tap);
        prepared = testsupport::waitUntil([&] { return controller.count("enablePluginsName") > before; });
        // Unit events of the set-up (new units list their parameters) are heard before the test acts.
        testsupport::spin(250);
    }
    ~PreparedTrack() {
        driver.reset();
        testsupport::spin(20);  // the units leave on the main thread
    }
    TrackTapContext* k() const { return static_cast<TrackTapContext*>(tap->storage()); }
    units::Unit* unit(BuiltInUnit u) const { return k()->unit(u).load(); }
    float parameter(BuiltInUnit u, units::ParameterID id) const {
        float v = -12345;
        if (auto* x = unit(u)) x->getParameter(id, units::Scope::Global, 0, &v);
        return v;
    }
    bool active(BuiltInUnit u) const { return k()->flag(u).load() != 0; }
    bool prepared = false;
};

}  // namespace enginetest

// A track's unit and plug-in settings survive a move with the mouse, its
// undo and its redo: the track is put back into the player each time with
// new units, which must take the settings over. Checked on audio rendered
// offline with the built-in delay and a real mda-lv2 plug-in.
#include "app/TrackListFixture.h"

#include "engine/EngineConstants.h"
#include "platform/units/PluginHost.h"
#include "support/InstalledPlugins.h"
#include "platform/units/Unit.h"
#include "views/FloatSlider.h"
#include "views/LineView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

class MovedTrackSettingsTest : public TrackListTest {
protected:
    static void SetUpTestSuite() { testsupport::useInstalledPlugins(); }
    void SetUp() override {
        TrackListTest::SetUp();
        c->ui.window->resize(1200, 900);
        c->ui.window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(c->ui.window));
        if (auto* search = c->preferences.preferencesSearchPluginsCheck) search->setChecked(true);
        // 100 s at zoom 10: 20 points a second.
        setFields("1", "40");
        c->updateCompositionDuration();
        endEvent();
        // 2 s of a 330 Hz tone, then 4 s of silence for the echo.
        testsupport::Signal tone = testsupport::sine(330, 44100, 6 * 44100, 0.25);
        std::fill(tone.begin() + 2 * 44100, tone.end(), 0.0f);
        const QString path = testsupport::tempDir() + QStringLiteral("/settings.wav");
        ASSERT_TRUE(testsupport::writeWav(path, {tone, tone}, 44100));
        track = append(path);
        waitForReadyItem();
        c->ui.zoomSlider->setFloatValue(10);
        c->updateZoomValueFrom(c->ui.zoomSlider);
        endEvent();
        track->typeOfComposition = 1;
        c->currentSelectedAudio = 0;
        ASSERT_FALSE(renderedLeft().empty());  // prepares the tap and lists the plug-ins
        ASSERT_TRUE(testsupport::waitUntil([&] { return popUp() != nullptr && popUp()->count() > 0; }));
        endEvent();
    }
    QComboBox* popUp() { return qobject_cast<QComboBox*>(track->pluginsPopUpButton.data()); }
    QCheckBox* check() { return qobject_cast<QCheckBox*>(track->pluginsCheckButton.data()); }
    int indexOf(const QString& suffix) {
        for (int i = 0; i < track->pluginsArray().size(); ++i)
            if (track->pluginsArray()[i].audioUnitName.endsWith(suffix)) return i;
        return -1;
    }
    // The plug-in at `i` with a live unit, enabled.
    bool pluginLive(int i) {
        return i < track->pluginsArray().size() && track->pluginsArray()[i].audioUnitPointerSet &&
               track->pluginsArray()[i].audioUnit && track->pluginsArray()[i].audioUnitEnabled;
    }
    // Drags the track by `dx` points with the mouse on the ruler layer.
    void moveTrack(double dx) {
        LineView* line = c->ui.lineView;
        AudioDrawingView* l = lane(0);
        const QPointF from = line->mapFromGlobal(l->mapToGlobal(QPointF(60, 100)));
        for (auto [type, at] : {std::pair{QEvent::MouseButtonPress, from},
                                std::pair{QEvent::MouseMove, from + QPointF(dx, 0)},
                                std::pair{QEvent::MouseButtonRelease, from + QPointF(dx, 0)}}) {
            QMouseEvent e(type, at, at, line->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(line, &e);
        }
        endEvent();
    }
    // Renders once the player has its new item and the plug-in its new unit.
    std::vector<float> renderSettled(int plugin) {
        EXPECT_TRUE(testsupport::waitUntil([&] { return c->shell.viewControlsEnabled; }));
        std::vector<float> out = renderedLeft();  // prepares the new tap
        EXPECT_TRUE(testsupport::waitUntil([&] { return pluginLive(plugin) && track->pluginsToEnable == 0; }));
        endEvent();
        return renderedLeft();
    }
    // What the track sounds like when it starts at `start` s: the level of
    // the echo after its tone stops (the delay), and the strength of the
    // tone's third harmonic against the tone (the drive). The units keep
    // their state from one render to the next, so renders are compared by
    // these measures rather than sample by sample.
    struct Sound {
        double echo = 0, harmonics = 0;
    };
    static Sound soundAt(const std::vector<float>& left, double start) {
        Sound s;
        const size_t a = size_t((start + 0.5) * 44100), n = 44100;
        const size_t e = size_t((start + 2.05) * 44100), m = size_t(0.5 * 44100);
        if (left.size() < e + m) return s;
        const double tone = testsupport::amplitudeAt(left.data() + a, n, 330, 44100);
        s.harmonics = tone > 0 ? testsupport::amplitudeAt(left.data() + a, n, 990, 44100) / tone : 0;
        s.echo = testsupport::rms(left.data() + e, m);
        return s;
    }

    std::shared_ptr<MusicFilter> track;
};

TEST_F(MovedTrackSettingsTest, TheDelayAndAPluginParameterStillSoundAfterAMoveItsUndoAndRedo) {
    // The delay switched on, as its panel's switch does.
    c->switchBuiltInUnit(unittype::Delay, true);
    // A plug-in ticked on, and its drive changed.
    const int i = indexOf(QStringLiteral("Overdrive"));
    ASSERT_GE(i, 0);
    popUp()->setCurrentIndex(i);
    check()->click();
    ASSERT_TRUE(testsupport::waitUntil([&] { return pluginLive(i); }));
    endEvent();
    units::Unit* unit = track->pluginsArray()[i].audioUnit;
    const units::ParameterID id = unit->parameterList().front();
    units::ParameterInfo info;
    unit->parameterInfo(units::Scope::Global, id, &info);
    const float standard = unit->parameter(id);
    const float changed = info.minValue + (info.maxValue - info.minValue) * 0.9f;
    ASSERT_GT(std::abs(changed - standard), 0.2f * (info.maxValue - info.minValue));
    const Sound asSet = soundAt(renderedLeft(), 0);
    unit->setParameter(id, changed);
    const Sound wet = soundAt(renderedLeft(), 0);
    ASSERT_GT(wet.echo, 0.01) << "the delay is heard after the tone";
    ASSERT_GT(std::abs(wet.harmonics - asSet.harmonics), 0.02) << "the drive changes the sound";

    // A 5 s move, then its undo and redo: each time the same sound, 5 s later or back.
    const struct {
        const char* name;
        std::function<void()> step;
        double start;
    } steps[] = {
        {"the move", [&] { moveTrack(100); }, 5},
        {"its undo", [&] { undo(); }, 0},
        {"its redo", [&] { redo(); }, 5},
    };
    for (const auto& k : steps) {
        SCOPED_TRACE(k.name);
        k.step();
        ASSERT_NEAR(track->animationStart().seconds(), k.start, 1e-3);
        const Sound heard = soundAt(renderSettled(i), k.start);
        EXPECT_NEAR(heard.echo, wet.echo, 0.1 * wet.echo);
        EXPECT_NEAR(heard.harmonics, wet.harmonics, 0.1 * std::abs(wet.harmonics - asSet.harmonics));
        EXPECT_FLOAT_EQ(track->pluginsArray()[i].audioUnit->parameter(id), changed);
        EXPECT_TRUE(track->getDelayEnabled());
    }
}

}  // namespace

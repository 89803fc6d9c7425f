// Selecting a track and a time range with the mouse in its lane, on the main
// window with real tracks, the presses going through the ruler layer.
#include "TrackListFixture.h"

#include "views/FloatSlider.h"
#include "views/LineView.h"

#include <QMouseEvent>
#include <QScrollBar>

namespace {

class LaneSelectionTest : public ShownTrackListTest {
protected:
    // Two tracks of 20 s from the timeline's start in a composition of
    // 100 s at zoom 10, the player ready.
    void SetUp() override {
        ShownTrackListTest::SetUp();
        setLength("1", "40");
        for (int i = 0; i < 2; ++i) append(writeTone(QStringLiteral("tone%1.wav").arg(i), 20, 440 + 110 * i));
        waitForReadyItem();
        c->ui.zoomSlider->setFloatValue(10);
        c->updateZoomValueFrom(c->ui.zoomSlider);
        line = c->ui.lineView;
        ASSERT_TRUE(line);
    }
    // A mouse event on the ruler layer at the point of lane `index` that
    // stands for `seconds` of its track (the tracks start at 0).
    void send(QEvent::Type type, size_t index, double seconds) {
        AudioDrawingView* l = lane(index);
        const QPointF inLane(seconds / tracks()[index].audioFilter->durationInSeconds * l->width(), 100);
        const QPointF at = line->mapFromGlobal(l->mapToGlobal(inLane));
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, at, line->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(line, &e);
    }
    // The current selection of lane `index` in seconds of its track.
    QList<double> selectionSeconds(size_t index) {
        QList<double> seconds;
        AudioDrawingView* l = lane(index);
        if (l->selectionPaths.isEmpty()) return seconds;
        for (const QPointF& p : l->selectionPaths.last())
            seconds.append(p.x() / l->width() * tracks()[index].audioFilter->durationInSeconds);
        return seconds;
    }
    LineView* line = nullptr;
};

// A press on the lane of a track that is not selected selects it and shows
// its settings; its drag and release start nothing.
TEST_F(LaneSelectionTest, PressOnAnotherTracksLaneOnlySelectsIt) {
    tracks()[0].audioFilter->setValue(EffectInput::AudioMix, 0.25f);
    c->rulerSelectTrack(1);
    ASSERT_NE(c->ui.sliderAudioMix->floatValue(), 0.25);
    send(QEvent::MouseButtonPress, 0, 4);
    EXPECT_EQ(c->currentSelectedAudio.load(), 0u);
    EXPECT_DOUBLE_EQ(c->ui.sliderAudioMix->floatValue(), 0.25);
    send(QEvent::MouseMove, 0, 9);
    EXPECT_DOUBLE_EQ(line->lineAlpha.load(), 1.0);
    send(QEvent::MouseButtonRelease, 0, 9);
    EXPECT_TRUE(lane(0)->selectionPaths.isEmpty());
}

// The selected track's range snaps to the playhead at its press and to a
// marker at its release; the ruler's labels dim while the button is down.
TEST_F(LaneSelectionTest, RangeSnapsToThePlayheadAndAMarker) {
    c->rulerSelectTrack(0);
    seekAndWait(5.0);
    ASSERT_NEAR(line->linePercent * c->rulerCompositionSeconds(), 5.0, 1e-3);
    c->editing.markersArray.push_back({8.0, QStringLiteral("Chorus")});

    send(QEvent::MouseButtonPress, 0, 5.3);
    send(QEvent::MouseMove, 0, 6.5);
    EXPECT_DOUBLE_EQ(line->lineAlpha.load(), double(0.3f));
    EXPECT_TRUE(lane(0)->showSelectionInfo);
    send(QEvent::MouseButtonRelease, 0, 7.7);
    EXPECT_DOUBLE_EQ(line->lineAlpha.load(), 1.0);
    EXPECT_FALSE(lane(0)->showSelectionInfo);
    const QList<double> range = selectionSeconds(0);
    ASSERT_EQ(range.size(), 2);
    EXPECT_NEAR(range[0], 5.0, 1e-3);
    EXPECT_NEAR(range[1], 8.0, 1e-3);

    // A click on it leaves no selection.
    send(QEvent::MouseButtonPress, 0, 12);
    send(QEvent::MouseButtonRelease, 0, 12);
    EXPECT_TRUE(selectionSeconds(0).isEmpty());
}

}  // namespace

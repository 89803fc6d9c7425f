#include "TrackListFixture.h"

#include "platform/core/TimeText.h"
#include "views/LineView.h"
#include "views/SmallViews.h"

#include <QImage>
#include <QScrollBar>
#include <QSettings>

namespace {

using RulerTest = TrackListTest;

// Where the orange of the duration badges lies in the ruler layer's top band
// (the dashed end line at `end` aside): the first and last columns that hold
// it, or (-1, -1).
std::pair<int, int> badgeColumns(LineView* line, int end) {
    const QImage image = line->grab().toImage();
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (std::abs(x - end) <= 2) continue;
        for (int y = 6; y < 26 && y < image.height(); ++y) {
            const QColor p = image.pixelColor(x, y);
            if (p.red() > 230 && p.green() > 160 && p.green() < 210 && p.blue() < 80) {
                if (first < 0) first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

// Every label of the ruler reads the time under its own place on the
// timeline, at two points a second at zoom 1, whatever the window's width;
// past the end of the composition a label shows nothing (a short composition
// leaves several there); the end badge is never cut off.
TEST_F(RulerTest, LabelsReadTheTimeUnderThemAtEveryLengthAndWidth) {
    interface->mainWindow->show();
    const double lengths[] = {5, 30, 600, 7200};
    for (int windowWidth : {1100, 1700}) {
        interface->mainWindow->resize(windowWidth, 800);
        QWidget* viewport = c->ui.audioScrollView->viewport();
        ASSERT_TRUE(testsupport::waitUntil([&] { return viewport->width() > windowWidth - 700; }));
        const double vw = viewport->width();
        // A label's centre in the visible part of the track area.
        auto centre = [&](QLabel* label) {
            return label->mapTo(interface->mainWindow.get(), QPointF(label->width() / 2.0, 0)).x() -
                   viewport->mapTo(interface->mainWindow.get(), QPointF(0, 0)).x();
        };
        for (double length : lengths) {
            SCOPED_TRACE(QStringLiteral("%1 s at a window %2 wide").arg(length).arg(windowWidth).toStdString());
            c->shell.compositionDuration = MediaTime::fromSeconds(length, 44100);
            c->resizeTimeline(false);
            c->ui.audioScrollView->horizontalScrollBar()->setValue(0);
            c->setupLabelsWithUpdate(true);
            const struct {
                QLabel* label;
                double place;
            } labels[] = {
                {c->ui.leftTimeLabel, 0},
                {c->ui.leftMiddleTimeLabel, centre(c->ui.leftMiddleTimeLabel)},
                {c->ui.middleTimeLabel, vw / 2},
                {c->ui.rightMiddleTimeLabel, centre(c->ui.rightMiddleTimeLabel)},
                {c->ui.rightTimeLabel, vw},
            };
            const double end = c->ui.audioView->width();
            int blank = 0;
            for (const auto& l : labels) {
                const bool past = l.place > end + 0.5;
                blank += past;
                EXPECT_EQ(l.label->text(), past ? QString() : timeText(std::min(length, l.place / c->shell.scaleFactor)))
                    << l.place;
            }
            if (length == 5) {
                EXPECT_GE(blank, 3);  // ten points of timeline: the labels right of it are blank
            }
            EXPECT_EQ(c->ui.labelEnd->text(), "-" + timeText(length));

            c->ui.lineView->repaint();
            const auto [first, last] = badgeColumns(c->ui.lineView, int(end));
            ASSERT_GE(first, 1) << "the badge is cut off at the left";
            EXPECT_LT(last, c->ui.lineView->width() - 2);
            EXPECT_GT(last - first, 40);
            // Left of the end line where there is room, else right of it.
            if (end > 150)
                EXPECT_LT(last, end);
            else
                EXPECT_GT(first, end);
        }
        // Scrolled: the labels move on with the visible part.
        c->ui.audioScrollView->horizontalScrollBar()->setValue(1000);
        EXPECT_EQ(c->ui.leftTimeLabel->text(), timeText(500));
        EXPECT_EQ(c->ui.rightTimeLabel->text(), timeText((1000 + vw) / 2));
    }
}

// The empty window at launch is the same with preferences and without them,
// and after every import has been undone: no length, every time at zero, the
// same timeline. The preferred length waits in the duration fields.
TEST_F(RulerTest, EmptyWindowIsOneState) {
    struct Look {
        QStringList times;
        int timelineWidth = 0;
        MediaTime length;
        bool operator==(const Look&) const = default;
    };
    auto look = [](AudioController* a) {
        a->setupLabelsWithUpdate(true);  // as a resize of the window does
        Look l;
        for (QLabel* label : {a->ui.leftTimeLabel, a->ui.leftMiddleTimeLabel, a->ui.middleTimeLabel,
                              a->ui.rightMiddleTimeLabel, a->ui.rightTimeLabel, a->ui.labelStart,
                              a->ui.labelEnd})
            l.times << label->text();
        l.timelineWidth = a->ui.audioView->width();
        l.length = a->shell.compositionDuration;
        return l;
    };

    // First launch: no preferences.
    {
        QSettings none(testsupport::tempDir() + "/none.conf", QSettings::IniFormat);
        d->setupDefaultValues(none);
    }
    const Look first = look(c);
    EXPECT_EQ(first.times, QStringList({"00:00:00", "00:00:00", "00:00:00", "00:00:00", "00:00:00",
                                        "00:00:00", "-00:00:00"}));
    EXPECT_EQ(first.length, MediaTime::zero());

    // A later launch: the preferences hold a length of 3:20.
    const QString file = testsupport::tempDir() + "/stored.conf";
    {
        QSettings stored(file, QSettings::IniFormat);
        stored.setValue("durationMinutes", 3);
        stored.setValue("durationSeconds", 20);
    }
    auto next = loadMainInterface(nullptr);
    AudioController* n = next->audioController.get();
    {
        QSettings stored(file, QSettings::IniFormat);
        next->appDelegate->setupDefaultValues(stored);
    }
    EXPECT_EQ(look(n), first);
    EXPECT_EQ(n->ui.textFieldDurationMinutes->text(), "3");
    EXPECT_EQ(n->ui.textFieldDurationSeconds->text(), "20");

    // An import takes the preferred length; undoing it gives the empty window back.
    next.reset();
    {
        QSettings stored(file, QSettings::IniFormat);
        d->setupDefaultValues(stored);
    }
    append(writeTone("one.wav", 30, 440));
    EXPECT_NEAR(c->shell.compositionDuration.seconds(), 200, 1e-6);
    undo();
    ASSERT_EQ(c->trackCount(), 0);
    EXPECT_EQ(look(c), first);
    EXPECT_EQ(fields(), std::make_pair(QStringLiteral("3"), QStringLiteral("20")));
}

}  // namespace

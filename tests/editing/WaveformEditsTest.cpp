// Waveform pictures composed for range edits, read back pixel by pixel: each
// column of the result comes from the old picture or from the source, at a
// place the edit decides. The old picture is coded by x in its red channel,
// the source by x in its green channel with full blue.
#include "editing/WaveformEdits.h"

#include "engine/MusicFilter.h"
#include "views/AudioView.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cmath>
#include <functional>

namespace {

using namespace waveformedits;

constexpr int kW = 2000, kH = 400;

QImage coded(bool source) {
    QImage image = AudioView::createNewBmpImageRep(kW, kH, 1.0, true);
    for (int x = 0; x < kW; ++x) {
        const int v = int(std::lround(x * 255.0 / (kW - 1)));
        const QRgb c = source ? qRgba(0, v, 255, 255) : qRgba(v, 0, 0, 255);
        for (int y = 0; y < kH; ++y) image.setPixel(x, y, c);
    }
    return image;
}

// Where column x of `picture` (at height y) comes from.
struct Origin {
    bool fromSource = false;
    double x = 0;
};
Origin originOf(const QImage& picture, int x, int y = 100) {
    const QColor c = QColor::fromRgba(picture.pixel(x, y));
    if (c.blue() > 128) return {true, c.green() * (kW - 1) / 255.0};
    return {false, c.red() * (kW - 1) / 255.0};
}

// One probe: result column, expected origin; 8-bit coding gives ±8 px, the
// smooth scaling a few more at a piece's edges, which probes avoid.
struct Probe {
    int x;
    bool fromSource;
    double expected;
};

void expectProbes(const QImage& picture, const std::vector<Probe>& probes) {
    ASSERT_EQ(picture.width(), kW);
    ASSERT_EQ(picture.height(), kH);
    for (const Probe& p : probes) {
        SCOPED_TRACE("column " + std::to_string(p.x));
        const Origin o = originOf(picture, p.x);
        EXPECT_EQ(o.fromSource, p.fromSource);
        EXPECT_NEAR(o.x, p.expected, 12.0);
    }
}

// A paste of 2 s (source columns 500 to 700) into a 10 s track: the result
// spans 12 s, the piece is w = 2/12 × 2000 ≈ 333 wide, the old picture
// r ≈ 1667.
TEST(WaveformEditsTest, PastedPiecesGoWhereTheInsertionSays) {
    const QImage old = coded(false), source = coded(true);
    const double w = 2.0 / 12 * kW, r = 10.0 / 12 * kW;
    struct Case {
        const char* name;
        double at;
        std::vector<Probe> probes;
    };
    const double a5 = 5.0 * 10 / 12, a1995 = 1995.0 * 10 / 12;
    const Case cases[] = {
        {"at the start", 0, {{int(w / 2), true, 600}, {int(w + r / 2), false, 1000}, {kW - 5, false, 1995}}},
        // Below 5: still the start.
        {"at 4.9", 4.9, {{int(w / 2), true, 600}, {int(w + 20), false, 24}}},
        {"at 1996", 1996, {{int(r / 2), false, 1000}, {int(r + w / 2), true, 600}, {kW - 5, true, 697}}},
        // Exactly 5 and 1995 are the middle: the old picture is cut there.
        {"at 5", 5, {{int(a5 + w / 2), true, 600}, {int(a5 + w + 30), false, 5 + 30 * 1.2}}},
        {"at 1000", 1000, {{400, false, 480}, {int(1000 * 10 / 12.0 + w / 2), true, 600}, {1900, false, 1880}}},
        {"at 1995", 1995, {{800, false, 960}, {int(a1995 + w / 2), true, 600}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectProbes(pastedPicture(old, source, 2.0, k.at, 200, 500, 10.0, 1.0), k.probes);
    }
}

// At speed 2 the piece is taken from a picture twice as wide at twice the
// positions: the same part of the source.
TEST(WaveformEditsTest, APasteAtAnotherSpeedTakesTheSamePartOfTheSource) {
    const QImage source = coded(true);
    EXPECT_EQ(scaledSourcePicture(source, 2.0).width(), 4000);
    EXPECT_EQ(scaledSourcePicture(source, 1.3).width(), 2600);
    const QImage old = coded(false);
    const QImage atOne = pastedPicture(old, source, 1.0, 1000, 200, 500, 10.0, 1.0);
    const QImage atTwo = pastedPicture(old, source, 1.0, 1000, 200, 500, 10.0, 2.0);
    const double a = 1000 * 10 / 11.0, w = 1.0 / 11 * kW;
    for (int x : {int(a + 10), int(a + w / 2), int(a + w - 10)}) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(originOf(atTwo, x).fromSource);
        EXPECT_NEAR(originOf(atTwo, x).x, originOf(atOne, x).x, 12.0);
    }
}

// Silence: a transparent band with a glowing white line at half height; the
// old picture keeps its colours beside it.
TEST(WaveformEditsTest, SilenceIsATransparentBandWithALineAtHalfHeight) {
    const QImage old = coded(false);
    struct Case {
        const char* name;
        double at;
        double x0, x1;  // the band
    };
    const double w = 2.0 / 12 * kW, r = 10.0 / 12 * kW, a = 1000 * 10 / 12.0;
    const Case cases[] = {{"start", 0, 0, w}, {"middle", 1000, a, a + w}, {"end", 1996, r, kW}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QImage p = silencePicture(old, 2.0, k.at, 10.0);
        const int mid = int((k.x0 + k.x1) / 2);
        EXPECT_EQ(qAlpha(p.pixel(mid, 100)), 0);
        EXPECT_EQ(qAlpha(p.pixel(mid, 300)), 0);
        const QColor line = QColor::fromRgba(p.pixel(mid, 200));
        EXPECT_GT(line.alpha(), 40);
        EXPECT_EQ(line.red(), line.green());
        EXPECT_EQ(line.green(), line.blue());
        // The glow fades within about ten pixels.
        EXPECT_GT(qAlpha(p.pixel(mid, 205)), 0);
        EXPECT_EQ(qAlpha(p.pixel(mid, 215)), 0);
        // Outside the band, the old picture in its own colours.
        const int outside = k.x0 > 20 ? int(k.x0) - 20 : int(k.x1) + 20;
        const QColor o = QColor::fromRgba(p.pixel(outside, 100));
        EXPECT_EQ(o.alpha(), 255);
        EXPECT_EQ(o.blue(), 0);
        EXPECT_EQ(o.green(), 0);
    }
}

// A removal of 2 s of a 10 s track: the rest stretched over the whole width.
TEST(WaveformEditsTest, RemovalsStretchWhatIsLeft) {
    const QImage old = coded(false);
    struct Case {
        const char* name;
        double width, at;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        // From below 5: everything before its end goes.
        {"start", 400, 2, {{0, false, 400}, {1000, false, 1200}, {kW - 5, false, 1995}}},
        // Ending beyond 1995: everything after its start goes.
        {"end", 400, 1599, {{10, false, 8}, {1000, false, 800}, {kW - 10, false, 1590}}},
        // Inside: the left part keeps its scale over the wider picture,
        // the right part follows at once.
        {"middle", 400, 800, {{500, false, 400}, {990, false, 792}, {1010, false, 1208}, {1900, false, 1920}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectProbes(removedPicture(old, k.width, k.at, 2.0, 10.0), k.probes);
    }
}

// On a track, each edit appends its picture and makes it current, also
// after an undo went back to an older one.
TEST(WaveformEditsTest, EditsAppendTheirPictureAndMakeItCurrent) {
    auto t = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
    t->filterBitmaps = {coded(false), coded(true)};
    t->indexOfUpdatedBitmap = 0;  // as after an undo
    ASSERT_TRUE(modifyAudioEmptyBitmapForFilter(*t, 1.0, 1000, 10.0));
    EXPECT_EQ(t->filterBitmaps.size(), 3);
    EXPECT_EQ(t->indexOfUpdatedBitmap, 2u);
    // The undone version stays where it was.
    EXPECT_TRUE(originOf(t->filterBitmaps[1], 100).fromSource);
    // A paste from an older picture of the same track.
    ASSERT_TRUE(modifyAudioBitmapForFilter(*t, *t, 1.0, 1000, 200, 500, 1, 11.0, 1.0));
    EXPECT_EQ(t->indexOfUpdatedBitmap, 3u);
    EXPECT_TRUE(originOf(t->filterBitmaps[3], int(1000 * 11 / 12.0 + 2000 / 24.0)).fromSource);
    ASSERT_TRUE(modifyAudioBitmapForFilter(*t, 100, 1000, 1.0, 12.0));
    EXPECT_EQ(t->indexOfUpdatedBitmap, 4u);
    // Nothing to compose from: nothing changes.
    EXPECT_FALSE(modifyAudioBitmapForFilter(*t, *t, 1.0, 1000, 200, 500, 9, 11.0, 1.0));
    t->indexOfUpdatedBitmap = 7;
    EXPECT_FALSE(modifyAudioEmptyBitmapForFilter(*t, 1.0, 1000, 10.0));
    EXPECT_EQ(t->filterBitmaps.size(), 5);
}

}  // namespace

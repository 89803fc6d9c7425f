// The piano roll's drawing: which notes it draws, in which colour and
// outline, faded outside the trimmed region, and the playhead.
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"

#include <gtest/gtest.h>

#include <QScrollArea>

namespace {

class FakeOwner : public NotesViewOwner {
public:
    bool hasManager = true;
    double seconds = 0;
    bool notesTrackHasMidiManager(const MusicFilter&) const override { return hasManager; }
    double notesPlayerSeconds() const override { return seconds; }
    double notesHorizontalZoom() const override { return 3.0; }
};

MidiNoteRecord noteOn(uint32_t note, double start, std::optional<double> end, uint8_t velocity = 127) {
    MidiNoteRecord r;
    r.midiCommand = {uint8_t(0x90), uint8_t(note), velocity};
    r.midiNote = note;
    r.midiCommandTime = MediaTime::fromSeconds(start, 44100);
    if (end) r.midiCommandEndTime = MediaTime::fromSeconds(*end, 44100);
    r.midiNoteOn = !end;  // a held note is still on
    return r;
}

// What the view draws, over a transparent background.
QImage drawn(QWidget& view) {
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// A 20 s track at speed 1 in a view of 13 points per second: 260 × 880, so
// one second is 13 points and every row 10 points (row n − 21 from the bottom).
class NotesViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        track->setDefaults();
        track->durationInSeconds = 20;
        view.resize(260, 880);
        view.owner = &owner;
        view.viewFilter = track;
    }
    // The colour in the middle of a note's row at a time.
    QColor colourAt(const QImage& image, double seconds, uint32_t note) {
        return image.pixelColor(int(seconds * 13), int(880 - (note - 21 + 0.5) * 10));
    }
    std::shared_ptr<MusicFilter> track;
    FakeOwner owner;
    NotesView view;
};

TEST_F(NotesViewTest, NotesByKindColourAndOutline) {
    MidiNoteRecord off;
    off.midiCommand = {uint8_t(0x80), 64, 0};
    off.midiNote = 64;
    off.midiCommandTime = MediaTime::fromSeconds(3, 44100);
    const MidiNoteRecord selected = noteOn(70, 10, 12);
    track->midiArray = {noteOn(60, 2, 4), off, noteOn(62, 6, std::nullopt), selected, noteOn(5, 14, 15),
                        noteOn(80, 16, 16 + 5.9 / 13), noteOn(82, 16, 16 + 6.5 / 13)};
    track->currentSelectedNotes = {selected};
    const QImage image = drawn(view);
    auto isOrange = [](QColor c) { return c.red() > 200 && c.green() > 150 && c.blue() < 100; };
    EXPECT_TRUE(isOrange(colourAt(image, 3, 60))) << "a committed note";
    EXPECT_EQ(qAlpha(colourAt(image, 3.1, 64).rgba()), 0) << "a note-off is never drawn";
    EXPECT_GT(colourAt(image, 6.05, 62).red(), 200) << "a held note is red";
    EXPECT_LT(colourAt(image, 6.05, 62).green(), 80);
    EXPECT_GT(colourAt(image, 11, 70).blue(), colourAt(image, 11, 70).red()) << "a selected note";
    EXPECT_TRUE(isOrange(colourAt(image, 14.5, 21))) << "notes below 21 sit in the lowest row";
    // Only notes wider than 6 points are outlined: look just above each.
    auto above = [&](double seconds, uint32_t note) {
        return image.pixelColor(int(seconds * 13), int(880 - (note - 21 + 1) * 10) - 1);
    };
    EXPECT_EQ(qAlpha(above(16.2, 80).rgba()), 0) << "5.9 points: no outline";
    EXPECT_GT(qAlpha(above(16.2, 82).rgba()), 100) << "6.5 points: outlined";
}

TEST_F(NotesViewTest, NotesOutsideTheTrimmedRegionAreFaded) {
    AudioDrawingView lane;
    lane.resize(520, 200);
    lane.drawingBezierPath = AudioDrawingView::regionPath(QRectF(260, 0, 260, 200));  // the second half
    track->audioDrawingView = &lane;
    track->midiArray = {noteOn(60, 2, 4), noteOn(60, 14, 16)};
    const QImage image = drawn(view);
    EXPECT_LT(qAlpha(colourAt(image, 3, 60).rgba()), qAlpha(colourAt(image, 15, 60).rgba()));
}

TEST_F(NotesViewTest, WithoutAManagerOnlyTheEndAndThePlayheadAreDrawn) {
    track->midiArray = {noteOn(60, 2, 4)};
    owner.hasManager = false;
    owner.seconds = 10;
    const QImage image = drawn(view);
    EXPECT_EQ(qAlpha(colourAt(image, 3, 60).rgba()), 0);
    EXPECT_GT(qAlpha(image.pixel(130, 300)), 100) << "the playhead at 10 s";
    EXPECT_GT(qAlpha(image.pixel(259, 300)), 100) << "the track's end";

    // Without a track nothing at all, not even the end.
    view.viewFilter.reset();
    const QImage blank = drawn(view);
    EXPECT_EQ(qAlpha(blank.pixel(259, 300)), 0);
    EXPECT_EQ(qAlpha(blank.pixel(130, 300)), 0);
}

}  // namespace

namespace {

TEST(NotesPanelTest, ThePianoRollsSizeFollowsSpeedAndZoom) {
    NotesPanel panel(nullptr);
    const double visible = panel.visibleNotesHeight();
    EXPECT_GT(visible, 100);
    struct Case { double seconds, speed, zH, zV, width, height; } cases[] = {
        {20, 1, 1, 1, 260, visible},
        {20, 2, 1, 1, 130, visible},        // twice as fast: half as wide
        {20, 1, 2, 2, 520, visible + 352},  // each step of vertical zoom adds 88 base rows
        {20, 0, 1, 1, 0, visible},          // no speed: nothing to draw
    };
    for (const auto& k : cases) {
        panel.notesHorizontalZoom->setFloatValue(k.zH);
        panel.notesVerticalZoom->setFloatValue(k.zV);
        EXPECT_DOUBLE_EQ(panel.notesViewWidth(k.seconds, k.speed), k.width) << k.speed << " " << k.zH;
        EXPECT_DOUBLE_EQ(panel.notesViewHeight(), k.height) << k.zV;
    }
    // The keyboard strip stands level with the roll's visible part.
    EXPECT_EQ(panel.leftNotesView->height(), int(visible));
    EXPECT_EQ(panel.leftNotesView->x() + panel.leftNotesView->width(), panel.notesScrollView->x());
}

}  // namespace

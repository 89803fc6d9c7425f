// The piano roll's drawing: which notes it draws, in which colour and
// outline, faded outside the trimmed region, and the playhead.
#include "engine/EffectInputs.h"
#include "engine/MusicFilter.h"
#include "views/AudioDrawingView.h"
#include "views/FloatSlider.h"
#include "views/NotesPanel.h"
#include "views/NotesView.h"
#include "views/PianoView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

namespace {

class FakeOwner : public NotesViewOwner {
public:
    bool hasManager = true;
    double seconds = 0;
    bool notesTrackHasMidiManager(const MusicFilter&) const override { return hasManager; }
    double notesPlayerSeconds() const override { return seconds; }
    double notesHorizontalZoom() const override { return 3.0; }

    // What the mouse asked for.
    std::vector<MidiNoteList> undos;
    int changes = 0;
    std::vector<std::pair<char, double>> playhead;  // 'd'own, 'm'oved, 'u'p at composition seconds
    void notesChanged(MusicFilter&) override { ++changes; }
    void notesRegisterUndo(MusicFilter&, const MidiNoteList& before) override { undos.push_back(before); }
    void notesPlayheadDown(double t) override { playhead.emplace_back('d', t); }
    void notesPlayheadDragged(double t) override { playhead.emplace_back('m', t); }
    void notesPlayheadUp(double t) override { playhead.emplace_back('u', t); }
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

// Resized, the panel's roll and keyboard follow its height at the vertical
// zoom (as the zoom's Reset does at zoom 1); the roll keeps its width.
TEST(NotesPanelTest, TheRollAndTheKeyboardFollowThePanelsSize) {
    NotesPanel panel(nullptr);
    panel.show();
    panel.notesView->resize(400, panel.notesView->height());
    for (double zV : {1.0, 3.0})
        for (QSize size : {QSize(900, 760), QSize(700, 360)}) {
            panel.notesVerticalZoom->setFloatValue(zV);
            panel.resize(size);
            QApplication::processEvents();
            SCOPED_TRACE(testing::Message() << "zoom " << zV << ", height " << size.height());
            EXPECT_EQ(panel.notesView->height(), int(panel.notesViewHeight()));
            EXPECT_EQ(panel.pianoView->height(), panel.notesView->height());
            EXPECT_EQ(panel.leftNotesView->height(), int(panel.visibleNotesHeight()));
            EXPECT_EQ(panel.notesView->width(), 400);
        }
}

// Return, Enter and Space click no button of the panel (a dialog would
// click its default one, the Record toggle), and no button looks like a
// default.
TEST(NotesPanelTest, NoKeyClicksTheButtons) {
    NotesPanel panel(nullptr);
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    int clicks = 0;
    for (QAbstractButton* b : panel.findChildren<QAbstractButton*>()) {
        QObject::connect(b, &QAbstractButton::clicked, [&clicks] { ++clicks; });
        if (auto* push = qobject_cast<QPushButton*>(b)) EXPECT_FALSE(push->isDefault()) << push->text().toStdString();
    }
    for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &panel;
        QTest::keyClick(target, key);
    }
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(panel.recordNotesButton->isChecked());
}

}  // namespace

namespace {

// The note-on and note-off of a note from `start` to `end` seconds.
MidiNoteList note(uint32_t pitch, double start, double end) {
    MidiNoteRecord on = noteOn(pitch, start, end), off;
    off.midiCommand = {uint8_t(0x80), uint8_t(pitch), 0};
    off.midiNote = pitch;
    off.midiCommandTime = on.midiCommandEndTime;
    return {on, off};
}

// The mouse on the piano roll of the 20 s track above (13 points a second,
// rows 10 points high), with the track's lane for its note modes.
class NotesViewMouseTest : public NotesViewTest {
protected:
    void SetUp() override {
        NotesViewTest::SetUp();
        track->timeScale = 44100;
        lane.resize(260, 100);
        track->audioDrawingView = &lane;
    }
    void setNotes(std::initializer_list<MidiNoteList> notes) {
        track->midiArray.clear();
        for (const auto& n : notes) track->midiArray.insert(track->midiArray.end(), n.begin(), n.end());
    }
    // A point at a time, in the middle of a note's row (`rowOffset` rows up).
    static QPointF at(double seconds, uint32_t note, double rowOffset = 0.5) {
        return {seconds * 13, 880 - (double(note) - 21 + rowOffset) * 10};
    }
    void send(QEvent::Type type, QPointF p) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, p, view.mapToGlobal(p), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }
    void press(QPointF p) { send(QEvent::MouseButtonPress, p); }
    void drag(QPointF p) { send(QEvent::MouseMove, p); }
    void release(QPointF p) { send(QEvent::MouseButtonRelease, p); }
    double seconds(size_t index, bool end = false) const {
        const auto& r = track->midiArray[index];
        return (end ? *r.midiCommandEndTime : *r.midiCommandTime).seconds();
    }
    AudioDrawingView lane;
};

// A note is hit where it is drawn, also in the lowest and highest rows;
// where notes overlap, the first in the list is taken.
TEST_F(NotesViewMouseTest, NotesAreHitWhereTheyAreDrawn) {
    setNotes({note(21, 1, 3), note(108, 1, 3), note(60, 5, 9), note(60, 6, 8), note(64, 12, 13)});
    struct Case { const char* what; QPointF point; std::optional<size_t> index; } cases[] = {
        {"lowest row, upper edge", at(2, 21, 0.9), 0},
        {"lowest row, lower edge", at(2, 21, 0.1), 0},
        {"highest row, upper edge", at(2, 108, 0.9), 2},
        {"highest row, lower edge", at(2, 108, 0.1), 2},
        {"overlapping notes", at(7, 60), 4},
        {"within 2 points beside a note", QPointF(13 * 13 + 1.5, at(13, 64).y()), 8},
        {"the row above", at(12.5, 64, 1.5), std::nullopt},
        {"after the note", at(14, 64), std::nullopt},
    };
    for (const auto& k : cases) EXPECT_EQ(view.noteAt(k.point), k.index) << k.what;
}

// An end drag moves the note-off with the end, never comes nearer the start
// than 0.05 s and stays within the track; a press at the middle drags the
// start alone. Each press-drag-release is one undo step with the notes as
// they were at the press.
TEST_F(NotesViewMouseTest, AdjustDragsMoveOneEdgeWithOneUndo) {
    lane.isAdjustingNotes = true;
    setNotes({note(60, 2, 4), note(60, 4, 5)});  // the second starts where the first ends
    const MidiNoteList original = track->midiArray;

    press(at(3.9, 60));
    drag(at(6, 60));
    EXPECT_NEAR(seconds(0, true), 6, 1e-3) << "the end follows";
    EXPECT_NEAR(seconds(1), 6, 1e-3) << "its note-off with it";
    EXPECT_NEAR(seconds(2), 4, 1e-9) << "not the next note's note-on at the old end";
    EXPECT_NEAR(seconds(3), 5, 1e-9);
    drag(at(2.06, 60));
    EXPECT_NEAR(seconds(0, true), 2.06, 1e-2);
    drag(at(1, 60));
    EXPECT_NEAR(seconds(0, true), 2.06, 1e-2) << "stops 0.05 s after the start";
    drag(QPointF(400, at(0, 60).y()));
    EXPECT_NEAR(seconds(0, true), 20, 1e-3) << "no further than the track's end";
    EXPECT_NEAR(seconds(1), 20, 1e-3);
    release(QPointF(400, at(0, 60).y()));
    ASSERT_EQ(owner.undos.size(), 1u);
    EXPECT_EQ(owner.undos[0], original);
    EXPECT_GT(owner.changes, 0);

    // The middle of the note drags its start; its note-off stays.
    setNotes({note(60, 2, 4)});
    press(at(3, 60));
    drag(at(1, 60));
    EXPECT_NEAR(seconds(0), 1, 1e-3);
    EXPECT_NEAR(seconds(0, true), 4, 1e-9);
    EXPECT_NEAR(seconds(1), 4, 1e-9);
    drag(QPointF(-50, at(0, 60).y()));
    EXPECT_NEAR(seconds(0), 0, 1e-9) << "no earlier than the track's start";
    drag(at(5, 60));
    EXPECT_NEAR(seconds(0), 0, 1e-9) << "never past the end";
    release(at(5, 60));
    EXPECT_EQ(owner.undos.size(), 2u);

    // A press that hits no note drags nothing and makes no step.
    press(at(10, 70));
    drag(at(12, 70));
    release(at(12, 70));
    EXPECT_EQ(owner.undos.size(), 2u);
    EXPECT_EQ(view.lineAlpha, 1.0);
}

// In select mode a press takes a selected note out or adds one; a drag only adds.
TEST_F(NotesViewMouseTest, SelectPressTogglesAndDragOnlyAdds) {
    lane.isSelectingNotes = true;
    setNotes({note(60, 1, 2), note(62, 3, 4), note(64, 5, 6)});
    const MidiNoteRecord a = track->midiArray[0], b = track->midiArray[2], c = track->midiArray[4];
    track->currentSelectedNotes = {a, b};

    press(at(1.5, 60));
    EXPECT_EQ(track->currentSelectedNotes, (MidiNoteList{b})) << "a press deselects";
    drag(at(3.5, 62));
    drag(at(5.5, 64));
    EXPECT_EQ(track->currentSelectedNotes, (MidiNoteList{b, c})) << "a drag over a selected note keeps it";
    EXPECT_EQ(track->lastSelectedNotes.front(), c) << "the last added is named";
    release(at(5.5, 64));
    EXPECT_TRUE(track->lastSelectedNotes.empty());

    press(at(1.5, 60));
    EXPECT_EQ(track->currentSelectedNotes, (MidiNoteList{b, c, a})) << "a press on an unselected note adds it";
    release(at(1.5, 60));
}

// In neither mode the playhead is grabbed where it is and the release seeks
// to the release point, clamped to the view.
TEST_F(NotesViewMouseTest, APressDragsThePlayheadAndTheReleaseSeeksClamped) {
    setNotes({note(60, 1, 2)});
    owner.seconds = 10;
    press(at(1.5, 60));
    drag(QPointF(400, 100));
    EXPECT_TRUE(view.moveLine);
    EXPECT_DOUBLE_EQ(view.tempLinePercent, 1.0);
    release(QPointF(-30, 100));
    EXPECT_FALSE(view.moveLine);
    EXPECT_EQ(owner.playhead, (std::vector<std::pair<char, double>>{{'d', 10}, {'m', 20}, {'u', 0}}));
    EXPECT_TRUE(owner.undos.empty());
}

}  // namespace

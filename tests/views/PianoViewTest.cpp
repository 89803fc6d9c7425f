// The notes panel's keyboard: which key a point plays, the notes its presses
// and drags send, and what it draws.
#include "engine/MusicFilter.h"
#include "views/PianoView.h"

#include <gtest/gtest.h>

#include <QTest>

namespace {

struct Sent {
    int note;
    bool on;
    bool operator==(const Sent&) const = default;
};

class FakeOwner : public PianoViewOwner {
public:
    bool canPlay = true;
    int startRequests = 0;
    std::vector<Sent> sent;
    QList<int> selected;
    bool pianoCanPlay(const MusicFilter&) const override { return canPlay; }
    void pianoStartPlayingIfPaused() override { ++startRequests; }
    void pianoSendNote(MusicFilter&, int note, bool on) override { sent.push_back({note, on}); }
    QList<int> pianoSelectedNotes(const MusicFilter&) const override { return selected; }
};

// 880 points high: every row is 10 points, row k from y = 870 − 10k down.
class PianoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        track = MusicFilter::filterWithName(QStringLiteral("MusicFilter"));
        view.resize(100, 880);
        view.owner = &owner;
        view.musicFilter = track;
    }
    // A point in row `key`, `f` of the way up it, at `x`.
    static QPoint at(int key, double f = 0.5, int x = 20) { return QPoint(x, int(880 - (key + f) * 10)); }

    std::shared_ptr<MusicFilter> track;
    FakeOwner owner;
    PianoView view;
};

TEST_F(PianoViewTest, KeysUnderPoints) {
    // C4 is key 39 (MIDI 60), C#4 key 40, D4 key 41.
    struct Case { QPoint point; quint64 key; } cases[] = {
        {at(39), 39},
        {at(40), 40},                 // the black key's left half
        {at(40, 0.25, 80), 39},       // beside it, lower half: the white key below
        {at(40, 0.75, 80), 41},       // upper half: the white key above
        {at(0), PianoView::NoKey},    // the bottom band and the two blank rows
        {at(2), PianoView::NoKey},
        {at(3), 3},                   // C1
        {at(86), 86},                 // B7
        {at(87), PianoView::NoKey},   // the top band
    };
    for (const auto& k : cases) EXPECT_EQ(view.keyAt(k.point), k.key) << k.point.y();
}

TEST_F(PianoViewTest, PressesAndDragsSendEachOffBeforeTheNextOn) {
    QTest::mousePress(&view, Qt::LeftButton, {}, at(39));
    QTest::mouseMove(&view, at(39, 0.9));  // within the key: nothing
    QTest::mouseMove(&view, at(40));
    QTest::mouseMove(&view, at(41));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at(41));
    EXPECT_EQ(owner.sent, (std::vector<Sent>{{60, true}, {60, false}, {61, true}, {61, false}, {62, true}, {62, false}}));
    EXPECT_EQ(owner.startRequests, 1);
    EXPECT_FALSE(view.isMouseDown);
    EXPECT_TRUE(view.notesToOff.isEmpty());

    // Leaving the keyboard sideways stops the held key; coming back plays again.
    owner.sent.clear();
    QTest::mousePress(&view, Qt::LeftButton, {}, at(50));
    QTest::mouseMove(&view, QPoint(-3, at(50).y()));
    QTest::mouseMove(&view, at(52));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(500, 2000));
    EXPECT_EQ(owner.sent, (std::vector<Sent>{{71, true}, {71, false}, {73, true}, {73, false}}));
}

TEST_F(PianoViewTest, PressesThatPlayNothing) {
    // A blank row still starts playback but holds no key.
    QTest::mousePress(&view, Qt::LeftButton, {}, at(1));
    QTest::mouseMove(&view, at(39));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at(39));
    EXPECT_EQ(owner.startRequests, 1);
    EXPECT_TRUE(owner.sent.empty());

    // A track that cannot play now: nothing at all.
    owner.canPlay = false;
    QTest::mousePress(&view, Qt::LeftButton, {}, at(39));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at(39));
    EXPECT_EQ(owner.startRequests, 1);
    EXPECT_TRUE(owner.sent.empty());
}

TEST_F(PianoViewTest, DrawsSoundingAndSelectedKeys) {
    owner.selected = {60, 22};             // C4, and a note below the keyboard
    view.highlightsNotes = {40, 41, 1};    // C#4, D4, and a row that is not a key
    const QImage image = view.grab().toImage();
    auto colourAt = [&](QPoint p) { return image.pixelColor(p); };
    auto isBlueish = [](QColor c) { return c.blue() > c.red() + 40; };
    auto isOrangeish = [](QColor c) { return c.red() > 200 && c.blue() < 120; };
    EXPECT_TRUE(isBlueish(colourAt(at(39, 0.5, 80)))) << "selected white key";
    EXPECT_TRUE(isOrangeish(colourAt(at(41, 0.5, 80)))) << "sounding white key";
    EXPECT_TRUE(isOrangeish(colourAt(at(40, 0.5, 20)))) << "sounding black key";
    EXPECT_EQ(colourAt(at(1, 0.5, 50)), QColor(Qt::white)) << "blank row stays blank";
    EXPECT_EQ(colourAt(at(43, 0.5, 80)), QColor(Qt::white)) << "an idle white key";
    EXPECT_LT(colourAt(at(42, 0.5, 20)).lightness(), 80) << "an idle black key";
}

}  // namespace

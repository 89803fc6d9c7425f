#include "views/FloatSlider.h"
#include "views/NumberTextField.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QScrollArea>
#include <QTest>

#include <functional>

namespace {

using Kind = TextFieldNumberFormatter::Kind;

TEST(TextFieldNumberFormatter, PartialInput) {
    struct Case {
        Kind kind;
        bool negative;
        const char* text;
        QValidator::State state;
    };
    const Case cases[] = {
        {Kind::Decimal, false, "12.5", QValidator::Acceptable},
        {Kind::Decimal, false, "", QValidator::Intermediate},
        {Kind::Decimal, false, "3.", QValidator::Acceptable},
        {Kind::Decimal, false, ".", QValidator::Intermediate},
        {Kind::Decimal, false, "-", QValidator::Invalid},
        // Without negatives only the lone minus sign is refused: a
        // negative number reads as one either way.
        {Kind::Decimal, false, "-3", QValidator::Acceptable},
        {Kind::Decimal, false, "-.", QValidator::Invalid},
        {Kind::Decimal, true, "-", QValidator::Intermediate},
        {Kind::Decimal, true, "-3.25", QValidator::Acceptable},
        {Kind::Decimal, false, "1a", QValidator::Invalid},
        {Kind::Decimal, false, "1,000", QValidator::Invalid},
        {Kind::Integer, false, "42", QValidator::Acceptable},
        {Kind::Integer, false, "4.2", QValidator::Invalid},
        {Kind::Integer, true, "-7", QValidator::Acceptable},
    };
    for (const auto& k : cases) {
        TextFieldNumberFormatter f(k.kind);
        f.setAllowsNegativeNumbers(k.negative);
        QString text = QString::fromLatin1(k.text);
        int pos = int(text.size());
        EXPECT_EQ(f.validate(text, pos), k.state) << k.text << " negative " << k.negative;
    }
}

TEST(TextFieldNumberFormatter, Strings) {
    TextFieldNumberFormatter decimal(Kind::Decimal), integer(Kind::Integer);
    EXPECT_EQ(decimal.stringFromNumber(1.234), "1.23");
    EXPECT_EQ(decimal.stringFromNumber(2.0), "2");
    EXPECT_EQ(decimal.stringFromNumber(0.5), "0.5");
    EXPECT_EQ(decimal.stringFromNumber(-0.001), "0");
    EXPECT_EQ(decimal.stringFromNumber(22050), "22050");
    EXPECT_EQ(integer.stringFromNumber(3.6), "4");
}

// A field refuses a minus sign it does not allow, and Return and Tab send
// its action while leaving it otherwise does not.
TEST(NumberTextField, TypingAndKeys) {
    QWidget window;
    auto* field = new NumberTextField(&window);
    auto* other = new QLineEdit(&window);
    field->setFormatter(new TextFieldNumberFormatter(Kind::Decimal));
    window.show();
    int actions = 0;
    QObject::connect(field, &NumberTextField::action, [&] { ++actions; });

    field->setFocus();
    QTest::keyClicks(field, "-1.5x");
    EXPECT_EQ(field->text(), "1.5");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(actions, 1);
    EXPECT_DOUBLE_EQ(field->floatValue(), 1.5);

    field->formatter()->setAllowsNegativeNumbers(true);
    field->clear();
    QTest::keyClicks(field, "-2");
    EXPECT_EQ(field->text(), "-2");
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(actions, 2);

    field->setFocus();
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(actions, 2);
}

// With the text cursor in a field, the window's shortcuts work; the field
// keeps its own editing keys, and a command key no shortcut takes still
// reaches it.
TEST(NumberTextField, CommandKeysGoToTheMenusButItsEditingKeys) {
    QWidget window;
    auto* field = new NumberTextField(&window);
    field->setFormatter(new TextFieldNumberFormatter(Kind::Decimal));
    QStringList triggered;
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_E), QKeySequence(Qt::CTRL | Qt::Key_Left),
                                     QKeySequence(Qt::CTRL | Qt::Key_A), QKeySequence(Qt::CTRL | Qt::Key_C)}) {
        auto* action = new QAction(&window);
        action->setShortcut(keys);
        QObject::connect(action, &QAction::triggered, [&triggered, keys] { triggered << keys.toString(); });
        window.addAction(action);
    }
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    struct Case {
        const char* name;
        Qt::Key key;
        QStringList triggered;  // the window's shortcuts that fired
        const char* text;       // the field's text after the key
        int cursor;             // where the text cursor stands after it
        bool allSelected;
    } cases[] = {
        {"Ctrl+E is the menu's", Qt::Key_E, {QStringLiteral("Ctrl+E")}, "123", 1, false},
        {"Ctrl+Left, a line edit's word move, is the menu's", Qt::Key_Left, {QStringLiteral("Ctrl+Left")}, "123", 1,
         false},
        {"Ctrl+A selects the field's text", Qt::Key_A, {}, "123", 3, true},
        {"Ctrl+C copies it", Qt::Key_C, {}, "123", 1, false},
        {"Ctrl+Right, no shortcut's, moves the cursor", Qt::Key_Right, {}, "123", 3, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        field->setText(QStringLiteral("123"));
        field->setCursorPosition(1);
        triggered.clear();
        QTest::keyClick(field, k.key, Qt::ControlModifier);
        EXPECT_EQ(triggered, k.triggered);
        EXPECT_EQ(field->text(), QLatin1String(k.text));
        EXPECT_EQ(field->cursorPosition(), k.cursor);
        EXPECT_EQ(field->hasSelectedText() && field->selectedText() == field->text(), k.allSelected);
    }
}

// A followed value (a slider's) replaces the field's text, but not the text
// the user is typing until Return, Tab or leaving the field ends it.
TEST(NumberTextField, AFollowedValueWaitsForTheTyping) {
    QWidget window;
    auto* field = new NumberTextField(&window);
    auto* other = new QLineEdit(&window);
    field->setFormatter(new TextFieldNumberFormatter(Kind::Decimal));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    struct Case {
        const char* name;
        std::function<void()> end;
    } cases[] = {
        {"Return", [&] { QTest::keyClick(field, Qt::Key_Return); }},
        {"Tab", [&] { QTest::keyClick(field, Qt::Key_Tab); }},
        {"leaving the field", [&] { other->setFocus(Qt::MouseFocusReason); }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        field->showFollowedValue(1);
        EXPECT_EQ(field->text(), "1");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "42");
        field->showFollowedValue(2);
        EXPECT_EQ(field->text(), "42");
        EXPECT_TRUE(field->isBeingEdited());
        k.end();
        EXPECT_FALSE(field->isBeingEdited());
        field->showFollowedValue(3);
        EXPECT_EQ(field->text(), "3");
    }
}

TEST(FloatSlider, CodeSendsNoActionTheUserDoes) {
    FloatSlider slider;
    slider.setRange(-1, 1);
    int actions = 0;
    double followed = 99;
    QObject::connect(&slider, &FloatSlider::action, [&] { ++actions; });
    QObject::connect(&slider, &FloatSlider::floatValueChanged, [&](double v) { followed = v; });
    slider.setFloatValue(0.25);
    EXPECT_DOUBLE_EQ(slider.floatValue(), 0.25);
    EXPECT_DOUBLE_EQ(followed, 0.25);
    EXPECT_EQ(actions, 0);
    slider.setFloatValue(7);
    EXPECT_DOUBLE_EQ(slider.floatValue(), 1.0);  // clamped
    slider.triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(actions, 1);
    EXPECT_LT(slider.floatValue(), 1.0);
    EXPECT_DOUBLE_EQ(followed, slider.floatValue());
}

QImage renderWidget(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool isOrange(QColor p) { return p.red() > 200 && p.green() > 140 && p.blue() < 90; }

TEST(PlayPauseButton, SymbolFollowsTheFlags) {
    struct Case {
        bool pause, play, ff, rewind;
        PlayPauseButton::Symbol symbol;
        QPoint filled;  // a point inside the symbol
    };
    using S = PlayPauseButton::Symbol;
    const Case cases[] = {
        {true, true, false, false, S::PlayTriangle, {14, 20}},
        {false, true, false, false, S::PauseBars, {14, 20}},
        {false, false, true, false, S::FastForward, {6, 20}},
        {false, false, false, true, S::Rewind, {16, 20}},
    };
    for (const auto& k : cases) {
        PlayPauseButton button;
        button.isPause = k.pause;
        button.isPlay = k.play;
        button.isFastForward = k.ff;
        button.isRewind = k.rewind;
        EXPECT_EQ(button.symbol(), k.symbol);
        QImage image = renderWidget(button);
        EXPECT_TRUE(isOrange(image.pixelColor(k.filled)));
    }
    // Pause bars leave a gap between them; no flag draws nothing at all.
    PlayPauseButton bars;
    bars.isPlay = true;
    EXPECT_EQ(renderWidget(bars).pixelColor(20, 20).alpha(), 0);
    PlayPauseButton none;
    QImage empty = renderWidget(none);
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x) ASSERT_EQ(empty.pixelColor(x, y).alpha(), 0);
}

TEST(ColorBackgroundView, ClickFocusesTheButtonElseTheField) {
    QWidget window;
    auto* panel = new ColorBackgroundView(&window);
    panel->resize(100, 40);
    auto* field = new QLineEdit(&window);
    auto* elsewhere = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    elsewhere->setFocus();
    panel->minutesTextField = field;
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(50, 20));
    EXPECT_TRUE(field->hasFocus());
}

TEST(SmallViews, ScrollCornerOnlyWithBothScrollers) {
    AudioScrollView scroll;
    scroll.resize(200, 150);
    auto* content = new QWidget();
    content->resize(400, 100);  // wider only
    scroll.setWidget(content);
    scroll.show();
    QTest::qWait(10);
    EXPECT_TRUE(scroll.cornerRect().isEmpty());
    content->resize(400, 400);
    QTest::qWait(10);
    EXPECT_FALSE(scroll.cornerRect().isEmpty());
}

TEST(SmallViews, ImageFrameWithoutImageShowsItsBorder) {
    CustomImageView view;
    view.resize(60, 60);
    QImage image = renderWidget(view);
    QColor border = image.pixelColor(30, 0);
    EXPECT_GT(border.blue(), border.red());
    EXPECT_GT(border.alpha(), 0);
    EXPECT_EQ(image.pixelColor(30, 30).alpha(), 0);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // rounded corner
}

// The frame stops at the vertical scroller of the scroll view beside it,
// and goes round the whole view when there is none.
TEST(ShadowBackgroundView, FramesUpToTheScrollViewsScroller) {
    QScrollArea scroll;
    scroll.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll.resize(200, 100);
    scroll.show();
    QTest::qWait(10);
    const int scroller = scroll.verticalScrollBar()->width();
    ASSERT_GT(scroller, 4);

    const QColor fill(28, 28, 28), black(Qt::black);
    for (bool beside : {false, true}) {
        SCOPED_TRACE(beside);
        ShadowBackgroundView view;
        view.resize(200, 30);
        if (beside) view.setScrollView(&scroll);
        const QImage image = renderWidget(view);
        const int right = beside ? 200 - scroller - 1 : 199;
        EXPECT_EQ(image.pixelColor(0, 15), black);
        EXPECT_EQ(image.pixelColor(100, 0), black);
        EXPECT_EQ(image.pixelColor(100, 29), black);
        EXPECT_EQ(image.pixelColor(right, 15), black);
        EXPECT_EQ(image.pixelColor(right - 1, 15), fill);
        EXPECT_EQ(image.pixelColor(100, 15), fill);
        if (beside) EXPECT_EQ(image.pixelColor(199, 15), fill);
    }
    // The frame follows the scroller when the scroll view hides it.
    ShadowBackgroundView view;
    view.resize(200, 30);
    view.setScrollView(&scroll);
    scroll.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTest::qWait(10);
    EXPECT_EQ(renderWidget(view).pixelColor(199, 15), black);
}

// The transparent scroller draws its knob alone; the other fills its slot
// dark grey and blends a lighter knob over it. Disabled, neither has a knob.
TEST(Scrollers, DrawTheirKnobOverTheirSlot) {
    const QColor slot(48, 48, 48);
    for (bool transparent : {true, false}) {
        for (bool enabled : {true, false}) {
            SCOPED_TRACE(testing::Message() << "transparent " << transparent << " enabled " << enabled);
            std::unique_ptr<CustomTransparentScroller> scroller(
                transparent ? new CustomTransparentScroller(Qt::Vertical) : new CustomScroller(Qt::Vertical));
            scroller->resize(15, 200);
            scroller->setRange(0, 100);
            scroller->setPageStep(100);  // the knob covers the top half
            scroller->setEnabled(enabled);
            const QImage image = renderWidget(*scroller);
            const QColor below = image.pixelColor(7, 180);
            const QColor knob = image.pixelColor(7, 50);
            if (transparent)
                EXPECT_EQ(below.alpha(), 0);
            else
                EXPECT_EQ(below, slot);
            if (!enabled) {
                EXPECT_EQ(knob, below);
            } else {
                EXPECT_GT(knob.alpha(), 0);
                EXPECT_GT(knob.lightness(), below.lightness() + 10);
                // Overlay keeps the knob dark on the dark slot.
                if (!transparent) EXPECT_LT(knob.lightness(), 128);
            }
        }
    }
}

// The image is scaled down to fit, kept in proportion and centred, inside
// a rounded clip whose blue border shows its inner point.
TEST(DrawImageView, ClipsTheFittedImageInsideARoundedBlueBorder) {
    QImage wide(100, 50, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    DrawImageView view;
    view.resize(60, 60);
    view.setImage(wide);
    QImage image = renderWidget(view);
    EXPECT_EQ(image.pixelColor(30, 30), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(30, 10).alpha(), 0);  // above the 60 by 30 picture
    EXPECT_EQ(image.pixelColor(30, 0).rgb(), QColor::fromRgbF(0.0f, 0.32f, 0.48f).rgb());
    EXPECT_EQ(image.pixelColor(30, 1).alpha(), 0);   // only one point of the two
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);    // the rounded corner

    QImage small(20, 20, QImage::Format_ARGB32);
    small.fill(Qt::green);
    view.setImage(small);  // never scaled up
    image = renderWidget(view);
    EXPECT_EQ(image.pixelColor(30, 30), QColor(Qt::green));
    EXPECT_EQ(image.pixelColor(15, 30).alpha(), 0);
}

}  // namespace

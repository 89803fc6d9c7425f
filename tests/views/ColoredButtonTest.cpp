// The panel toggle's arrow per state, drawn offscreen.
#include "views/StyledControls.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>

namespace {

QImage drawn(ColoredButton& button) {
    button.resize(40, 40);
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool amber(const QColor& c) { return c.red() > 230 && c.green() > 160 && c.green() < 205 && c.blue() < 70; }

TEST(ColoredButton, DrawsItsArrowPerStateAndGreysOnHover) {
    // Per state: a point inside the arrow near its tip, and the point as far
    // on the other side of the centre, which the arrow does not cover.
    const struct {
        quint64 state;
        QPoint tip, opposite;
    } cases[] = {
        {0, {20, 14}, {20, 29}},  // up: the panel is hidden
        {1, {20, 26}, {20, 11}},  // down: the panel is shown
        {2, {16, 17}, {30, 17}},  // left
        {3, {24, 17}, {10, 17}},  // right
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.state);
        ColoredButton button(QStringLiteral("Equaliser"));
        button.setButtonState(k.state);
        const QImage image = drawn(button);
        EXPECT_TRUE(amber(image.pixelColor(k.tip))) << image.pixelColor(k.tip).name().toStdString();
        EXPECT_EQ(image.pixelColor(k.opposite), QColor(Qt::white));
    }

    ColoredButton none(QStringLiteral("Equaliser"));
    none.setButtonState(4);
    QImage blank(40, 40, QImage::Format_ARGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(drawn(none), blank);

    // Hover changes the fill only: the same pixels are covered, grey instead.
    ColoredButton button(QStringLiteral("Equaliser"));
    const QImage plain = drawn(button);
    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.isMouseEntered);
    const QImage hovered = drawn(button);
    EXPECT_EQ(hovered.pixelColor(20, 20), QColor(85, 85, 85));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            EXPECT_EQ(plain.pixelColor(x, y) == QColor(Qt::white), hovered.pixelColor(x, y) == QColor(Qt::white));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isMouseEntered);
    EXPECT_EQ(drawn(button), plain);
}

}  // namespace

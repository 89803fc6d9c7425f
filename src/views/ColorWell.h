#pragma once

#include <QColor>
#include <QPushButton>

// A colour swatch; a click opens the colour chooser.
class ColorWell : public QPushButton {
    Q_OBJECT
public:
    explicit ColorWell(QWidget* parent = nullptr);
    QColor color() const { return color_; }
    void setColor(const QColor& color);

signals:
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_ = Qt::white;
};

#include "views/MarkerNamePopover.h"

#include "views/SmallViews.h"

#include <QLabel>
#include <QLineEdit>

MarkerNamePopover::MarkerNamePopover(QWidget* parent) : QWidget(parent, Qt::Popup) {
    setObjectName(QStringLiteral("markerNamePopover"));
    setStyleSheet(QStringLiteral("MarkerNamePopover { background-color: rgb(46, 43, 46); }"
                                 "QLabel { color: white; }"));
    auto* title = new QLabel(QStringLiteral("Marker name"), this);
    title->setGeometry(12, 8, 200, 20);
    markerTextField = new QLineEdit(this);
    markerTextField->setObjectName(QStringLiteral("markerTextField"));
    markerTextField->setGeometry(12, 32, 196, 24);
    // Only Return stores the name: leaving the field otherwise does not.
    connect(markerTextField, &QLineEdit::returnPressed, this, [this] {
        if (nameEntered) nameEntered();
    });
    resize(220, 68);
}

void MarkerNamePopover::showBelow(QWidget* anchor) {
    showPopoverBelow(this, anchor);
    markerTextField->setFocus();
}

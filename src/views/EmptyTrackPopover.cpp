#include "views/EmptyTrackPopover.h"

#include "views/NumberTextField.h"
#include "views/SmallViews.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

EmptyTrackPopover::EmptyTrackPopover(QWidget* parent) : QWidget(parent, Qt::Popup) {
    setObjectName(QStringLiteral("showEmptyTrackPopover"));
    setStyleSheet(QStringLiteral("EmptyTrackPopover { background-color: rgb(46, 43, 46); }"
                                 "QLabel { color: white; }"));
    auto* title = new QLabel(QStringLiteral("Silent Track"), this);
    title->setGeometry(16, 10, 200, 20);
    auto* seconds = new QLabel(QStringLiteral("Duration (s)"), this);
    seconds->setGeometry(16, 40, 100, 24);
    durationField = new NumberTextField(this);
    durationField->setObjectName(QStringLiteral("emptyTrackDurationTextField"));
    durationField->setGeometry(120, 40, 80, 24);
    auto* rate = new QLabel(QStringLiteral("Sample rate"), this);
    rate->setGeometry(16, 74, 100, 24);
    sampleRatePopUp = new QComboBox(this);
    sampleRatePopUp->setObjectName(QStringLiteral("emptyTrackSampleRatePopUpButton"));
    sampleRatePopUp->addItems({QStringLiteral("44.1 kHz"), QStringLiteral("48 kHz")});
    sampleRatePopUp->setGeometry(120, 74, 100, 24);
    addButton = new QPushButton(QStringLiteral("Add"), this);
    addButton->setGeometry(150, 110, 70, 26);
    connect(addButton, &QPushButton::clicked, this, [this] {
        if (addClicked) addClicked();
    });
    resize(236, 148);
}

void EmptyTrackPopover::showBelow(QWidget* anchor) {
    showPopoverBelow(this, anchor);
}

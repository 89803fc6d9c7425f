#include "views/TimePopover.h"

#include "views/NumberTextField.h"
#include "views/SmallViews.h"

#include <QGridLayout>
#include <QLabel>

TimePopover::TimePopover(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(this);
    textFieldTimeInfo = new QLabel(this);
    textFieldTimeInfo->setAlignment(Qt::AlignCenter);
    grid->addWidget(textFieldTimeInfo, 0, 0, 1, 3);
    const char* rows[] = {"Trim start", "Trim end", "Start in composition", "End in composition"};
    NumberTextField** outlets[] = {&textFieldTrimStartMinutes,        &textFieldTrimStartSeconds,
                                   &textFieldTrimEndMinutes,          &textFieldTrimEndSeconds,
                                   &textFieldCompositionStartMinutes, &textFieldCompositionStartSeconds,
                                   &textFieldCompositionEndMinutes,   &textFieldCompositionEndSeconds};
    for (int r = 0; r < 4; ++r) {
        grid->addWidget(new QLabel(QString::fromLatin1(rows[r]), this), r + 1, 0);
        for (int c = 0; c < 2; ++c) {
            auto* field = new NumberTextField(this);
            field->setFixedWidth(60);
            grid->addWidget(field, r + 1, c + 1);
            *outlets[r * 2 + c] = field;
        }
    }
}

QList<NumberTextField*> TimePopover::fields() const {
    return {textFieldTrimStartMinutes,        textFieldTrimStartSeconds,  textFieldTrimEndMinutes,
            textFieldTrimEndSeconds,          textFieldCompositionStartMinutes, textFieldCompositionStartSeconds,
            textFieldCompositionEndMinutes,   textFieldCompositionEndSeconds};
}

void TimePopover::showBelow(QWidget* anchor) {
    adjustSize();
    // Above the anchor when the screen has no room below it.
    showPopoverBelow(this, anchor);
}

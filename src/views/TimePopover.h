#pragma once

// The time popover of a track: its used length and file length, and its
// trim start and end and its start and end in the composition, each as
// minutes and seconds. Shown below the position slider; it stays until it
// closes. Its fields are filled by the controller.

#include <QFrame>

class NumberTextField;
class QLabel;

class TimePopover : public QFrame {
public:
    explicit TimePopover(QWidget* parent = nullptr);

    QLabel* textFieldTimeInfo = nullptr;
    NumberTextField* textFieldTrimStartMinutes = nullptr;
    NumberTextField* textFieldTrimStartSeconds = nullptr;
    NumberTextField* textFieldTrimEndMinutes = nullptr;
    NumberTextField* textFieldTrimEndSeconds = nullptr;
    NumberTextField* textFieldCompositionStartMinutes = nullptr;
    NumberTextField* textFieldCompositionStartSeconds = nullptr;
    NumberTextField* textFieldCompositionEndMinutes = nullptr;
    NumberTextField* textFieldCompositionEndSeconds = nullptr;

    // The eight fields in fill order: trim start, trim end, composition
    // start, composition end, minutes before seconds.
    QList<NumberTextField*> fields() const;
    // Shows the popover below `anchor`, centred on it (above it when the
    // screen has no room below).
    void showBelow(QWidget* anchor);
};

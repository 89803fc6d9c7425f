#pragma once

#include <QWidget>

#include <functional>

class NumberTextField;
class QComboBox;
class QPushButton;

// The silent-track popover: the length in seconds, the sample rate (index 0
// 44.1 kHz, 1 48 kHz) and the button that adds the track.
class EmptyTrackPopover : public QWidget {
    Q_OBJECT
public:
    explicit EmptyTrackPopover(QWidget* parent = nullptr);

    NumberTextField* durationField = nullptr;
    QComboBox* sampleRatePopUp = nullptr;
    QPushButton* addButton = nullptr;

    // Shown below `anchor`, centred on it.
    void showBelow(QWidget* anchor);
    // The add button was pressed.
    std::function<void()> addClicked;
};

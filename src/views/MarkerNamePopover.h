#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;

// The small popover that names a marker: one text field whose Return
// stores the name.
class MarkerNamePopover : public QWidget {
    Q_OBJECT
public:
    explicit MarkerNamePopover(QWidget* parent = nullptr);

    QLineEdit* markerTextField = nullptr;
    // Return was pressed in the field.
    std::function<void()> nameEntered;

    // Shown below `anchor`, centred on it, with the field focused.
    void showBelow(QWidget* anchor);
};

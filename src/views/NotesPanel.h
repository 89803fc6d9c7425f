#pragma once

// The floating panel that shows one track's notes: the keyboard at the left,
// the piano roll in a scroll view, the zoom sliders with their reset
// buttons, the record, select and adjust buttons, a play/pause button, the
// transpose and velocity buttons and a strip for the track's instrument
// controls. The controller binds it to a track and runs its commands. Main
// thread only.

#include <QDialog>
#include <QPoint>

class FloatSlider;
class NotesView;
class PianoView;
class PlayPauseButton;
class QAbstractButton;
class QPushButton;
class QScrollArea;

class NotesPanel : public QDialog {
    Q_OBJECT
public:
    explicit NotesPanel(QWidget* parent);

    // Where the shown track's plug-in check box and pop-up stand in the
    // controls strip: the pop-up 3 points right of the check box.
    static constexpr QPoint kPluginCheckOrigin{160, 90};
    static constexpr int kPluginPopUpY = 85;

    NotesView* notesView = nullptr;
    PianoView* pianoView = nullptr;
    QScrollArea* notesScrollView = nullptr;
    QWidget* leftNotesView = nullptr;     // holds the keyboard
    QWidget* controlsNoteView = nullptr;  // the track's instrument controls go here
    FloatSlider* notesHorizontalZoom = nullptr;
    FloatSlider* notesVerticalZoom = nullptr;
    QPushButton* resetHorizontalButton = nullptr;
    QPushButton* resetVerticalButton = nullptr;
    QPushButton* recordNotesButton = nullptr;
    QPushButton* selectNotesButton = nullptr;
    QPushButton* adjustNotesButton = nullptr;
    PlayPauseButton* notesPlayPauseButton = nullptr;
    QPushButton* transposeButton = nullptr;
    QPushButton* velocityButton = nullptr;
    // The steppers: a held arrow repeats, and its clicks make one change.
    QAbstractButton* transposeDownButton = nullptr;
    QAbstractButton* transposeUpButton = nullptr;
    QAbstractButton* velocityDownButton = nullptr;
    QAbstractButton* velocityUpButton = nullptr;
    // A stepper arrow is held down now.
    bool stepperIsDown() const;

    // The visible height of the piano roll: the scroll view's height less its
    // horizontal scroll bar's.
    double visibleNotesHeight() const;
    // The piano roll's size for a track `seconds` long at `speed`, at the
    // sliders' zooms: one second is `scaleFactor` × zH wide, and at zoom 1 the
    // 88 rows fill the visible height; each step of zV adds 88 base rows.
    double notesViewWidth(double seconds, double speed) const;
    double notesViewHeight() const;
    // The piano roll and the keyboard take notesViewHeight(); the roll keeps its width.
    void fitNotesViewHeight();
    // The keyboard strip beside the scroll view, as tall as its visible part.
    void layoutKeyboardStrip();

signals:
    // Delete or Backspace was pressed while the panel is the active window:
    // the keys belong to the notes here, not to the main window's Delete.
    void deleteKeyPressed();

protected:
    // Delete and Backspace go to deleteKeyPressed(). The panel's buttons are
    // clicked, never pressed from the keyboard: none is a default button
    // that Return would click, and none takes the focus that Space presses.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The roll and the keyboard keep filling the visible height at the
    // vertical zoom.
    void resizeEvent(QResizeEvent* event) override;
    // A closed panel shows and plays no track: the keyboard ends its held
    // keys and both views let go of the track.
    void hideEvent(QHideEvent* event) override;

private:
    void layoutContent();
};

#include "views/NotesPanel.h"
#include "views/ToolWindow.h"

#include "views/FloatSlider.h"
#include "views/NotesView.h"
#include "views/PianoView.h"
#include "views/StyledControls.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

namespace {
constexpr int kControlsHeight = 120;
constexpr int kKeyboardWidth = 80;

QPushButton* toggle(const QString& title, QWidget* parent) {
    auto* b = new QPushButton(title, parent);
    b->setCheckable(true);
    return b;
}
}  // namespace

NotesPanel::NotesPanel(QWidget* parent) : QDialog(parent, kFloatingPanelFlags) {
    makeFloatingPanel(this);
    setWindowTitle(QStringLiteral("Notes"));
    setModal(false);
    setStyleSheet(QStringLiteral("NotesPanel { background-color: rgb(46, 43, 46); } QLabel { color: white; }"));

    controlsNoteView = new QWidget(this);
    controlsNoteView->setObjectName(QStringLiteral("controlsNoteView"));
    recordNotesButton = toggle(QStringLiteral("Record"), controlsNoteView);
    recordNotesButton->setGeometry(10, 10, 70, 26);
    selectNotesButton = toggle(QStringLiteral("Select"), controlsNoteView);
    selectNotesButton->setGeometry(85, 10, 70, 26);
    adjustNotesButton = toggle(QStringLiteral("Adjust"), controlsNoteView);
    adjustNotesButton->setGeometry(160, 10, 70, 26);
    notesPlayPauseButton = new PlayPauseButton(controlsNoteView);
    notesPlayPauseButton->setObjectName(QStringLiteral("notesPlayPauseButton"));
    notesPlayPauseButton->setGeometry(240, 4, 38, 38);
    transposeButton = new QPushButton(QStringLiteral("Transpose"), controlsNoteView);
    transposeButton->setGeometry(290, 10, 90, 26);
    velocityButton = new QPushButton(QStringLiteral("Velocity"), controlsNoteView);
    velocityButton->setGeometry(385, 10, 90, 26);

    auto stepper = [this](const QString& title, int x, int y, QAbstractButton*& down, QAbstractButton*& up) {
        auto* label = new QLabel(title, controlsNoteView);
        label->setGeometry(x, y, 60, 22);
        auto arrow = [this, y](const QString& text, int left) {
            auto* b = new QToolButton(controlsNoteView);
            b->setText(text);
            b->setAutoRepeat(true);
            b->setGeometry(left, y, 24, 22);
            return b;
        };
        down = arrow(QStringLiteral("−"), x + 62);
        up = arrow(QStringLiteral("+"), x + 88);
    };
    // The steppers at the left, the zoom rows at the right: the track's
    // plug-in controls take the middle of the lower rows.
    stepper(QStringLiteral("Pitch"), 10, 48, transposeDownButton, transposeUpButton);
    stepper(QStringLiteral("Velocity"), 10, 76, velocityDownButton, velocityUpButton);

    auto zoomRow = [this](const QString& title, int y, FloatSlider*& slider, QPushButton*& reset) {
        auto* label = new QLabel(title, controlsNoteView);
        label->setGeometry(420, y, 80, 22);
        slider = new FloatSlider(Qt::Horizontal, controlsNoteView);
        slider->setRange(1.0, 20.0);
        slider->setFloatValue(1.0);
        slider->setGeometry(500, y, 180, 22);
        reset = new QPushButton(QStringLiteral("Reset"), controlsNoteView);
        reset->setGeometry(685, y, 60, 22);
    };
    zoomRow(QStringLiteral("Horizontal"), 48, notesHorizontalZoom, resetHorizontalButton);
    zoomRow(QStringLiteral("Vertical"), 76, notesVerticalZoom, resetVerticalButton);

    notesScrollView = new QScrollArea(this);
    notesScrollView->setObjectName(QStringLiteral("notesScrollView"));
    notesScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notesScrollView->setWidgetResizable(false);
    notesView = new NotesView;
    notesView->resize(600, 300);
    notesScrollView->setWidget(notesView);

    leftNotesView = new QWidget(this);
    leftNotesView->setObjectName(QStringLiteral("leftNotesView"));
    pianoView = new PianoView(leftNotesView);
    pianoView->resize(kKeyboardWidth, 300);

    // A dialog makes its first push button the default, which Return
    // clicks (toggling note recording) and the style frames as if armed.
    for (QAbstractButton* b : controlsNoteView->findChildren<QAbstractButton*>()) {
        if (auto* push = qobject_cast<QPushButton*>(b)) {
            push->setAutoDefault(false);
            push->setDefault(false);
        }
        b->setFocusPolicy(Qt::NoFocus);
    }

    resize(900, 480);
    layoutContent();
}

namespace {
bool isDeleteKey(const QKeyEvent* e) {
    return (e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) &&
           (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
}  // namespace

bool NotesPanel::event(QEvent* event) {
    // A tool window passes its shortcuts to the main window; Delete is
    // taken here first, so that the main window's Delete never removes
    // audio while the user works on notes.
    if (event->type() == QEvent::ShortcutOverride && isDeleteKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

void NotesPanel::keyPressEvent(QKeyEvent* event) {
    if (isDeleteKey(event)) {
        emit deleteKeyPressed();
        return;
    }
    QDialog::keyPressEvent(event);
}

void NotesPanel::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutContent();
}

bool NotesPanel::stepperIsDown() const {
    for (const QAbstractButton* b : {transposeDownButton, transposeUpButton, velocityDownButton, velocityUpButton})
        if (b->isDown()) return true;
    return false;
}

void NotesPanel::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The window system hides it with the main window; that is no close.
    if (event->spontaneous()) return;
    pianoView->letGo();
    notesView->viewFilter.reset();
}

void NotesPanel::layoutContent() {
    controlsNoteView->setGeometry(0, 0, width(), kControlsHeight);
    notesScrollView->setGeometry(5 + kKeyboardWidth, kControlsHeight, width() - 10 - kKeyboardWidth,
                                 height() - kControlsHeight - 5);
    layoutKeyboardStrip();
    // The roll's width is the track's length at the horizontal zoom, which
    // the panel's size leaves alone.
    fitNotesViewHeight();
}

void NotesPanel::fitNotesViewHeight() {
    notesView->resize(notesView->width(), int(notesViewHeight()));
    pianoView->resize(kKeyboardWidth, notesView->height());
}

double NotesPanel::visibleNotesHeight() const {
    // The horizontal scroll bar is always there, shown or not yet.
    return notesScrollView->height() - notesScrollView->horizontalScrollBar()->sizeHint().height() -
           2 * notesScrollView->frameWidth();
}

double NotesPanel::notesViewWidth(double seconds, double speed) const {
    if (!(speed > 0)) return 0;
    return seconds / speed * notesView->scaleFactor * notesHorizontalZoom->floatValue();
}

double NotesPanel::notesViewHeight() const {
    const double rows = 88 * notesView->noteBaseHeight;
    return visibleNotesHeight() - rows + rows * notesVerticalZoom->floatValue();
}

void NotesPanel::layoutKeyboardStrip() {
    // The strip is as tall as the visible part of the piano roll, level with it;
    // the keyboard inside it moves with the roll's vertical scroll.
    const int frame = notesScrollView->frameWidth();
    leftNotesView->setGeometry(5, notesScrollView->y() + frame, kKeyboardWidth, int(visibleNotesHeight()));
}

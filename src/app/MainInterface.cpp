#include "app/MainInterface.h"

#include "platform/core/UndoManager.h"
#include "views/AudioView.h"
#include "views/ColorWell.h"
#include "views/FloatSlider.h"
#include "views/Palette.h"
#include "views/StyledControls.h"

#include <QAction>
#include <QApplication>
#include <QWindow>
#include <QCheckBox>
#include <QEvent>
#include <QMenu>
#include <QProxyStyle>
#include <QStyleOption>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

namespace {

// Calls a function when a watched window has closed.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QObject* parent, std::function<void()> onClose)
        : QObject(parent), onClose_(std::move(onClose)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && event->isAccepted())
            QTimer::singleShot(0, this, onClose_);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClose_;
};

// Fusion, without the etched white shadow under disabled text: on a dark
// background it reads as a blur, and the grey of the text says enough.
// A checked push button is filled with the highlight colour and labelled in
// its text colour: Fusion only darkens a checked button by a tenth, which on
// dark grey cannot be told from an unchecked one.
class DarkStyle : public QProxyStyle {
public:
    DarkStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_EtchDisabledText) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        const bool pushButton =
            element == CE_PushButton || element == CE_PushButtonBevel || element == CE_PushButtonLabel;
        if (button && pushButton && (button->state & State_On) && !(button->features & QStyleOptionButton::Flat)) {
            QStyleOptionButton on(*button);
            const QPalette::ColorGroup group = (on.state & State_Enabled) ? QPalette::Normal : QPalette::Disabled;
            on.palette.setColor(QPalette::Button, on.palette.color(group, QPalette::Highlight));
            if (on.state & State_Enabled)
                on.palette.setColor(QPalette::ButtonText, on.palette.color(group, QPalette::HighlightedText));
            QProxyStyle::drawControl(element, &on, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

MainInterface::~MainInterface() {
    // The controller stops watching the track area before the windows go.
    if (audioController) audioController->stopWatchingTrackArea();
    mainWindow.reset();
    windowController.reset();
    appDelegate.reset();
    audioController.reset();
}

std::unique_ptr<MainInterface> loadMainInterface(std::unique_ptr<Player> player) {
    auto interface = std::make_unique<MainInterface>();
    interface->audioController = std::make_unique<AudioController>(std::move(player));
    interface->appDelegate = std::make_unique<AppDelegate>();
    interface->windowController = std::make_unique<WindowController>();
    AudioController* c = interface->audioController.get();
    AppDelegate* d = interface->appDelegate.get();
    WindowController* w = interface->windowController.get();

    // Windows.
    c->ui = buildMainWindow();
    MainWindow* window = c->ui.window;
    interface->mainWindow.reset(window);
    c->miniPlayer = buildMiniPlayerWindow(window);
    c->preferences = buildPreferencesWindow(window);

    // Outlets.
    c->windowController = w;
    c->appDelegate = d;
    d->audioController = c;
    d->window = window;
    d->markersAppMenuItem = c->ui.markersMenu;
    d->preferencesPanel = c->preferences.preferencesPanel;
    w->audioController = c;
    w->audioView = c->ui.audioView;

    // The main window's delegate; closing the last window quits.
    window->windowShouldClose = [w] { return w->windowShouldClose(); };
    window->windowDidResize = [w] { w->windowDidResize(); };
    auto lastWindowCheck = [c, d] {
        bool mainShown = c->ui.window && c->ui.window->isVisible();
        bool miniShown = c->miniPlayer.playerWindow && c->miniPlayer.playerWindow->isVisible();
        if (!mainShown && !miniShown) d->terminate();
    };
    window->windowDidClose = [window, lastWindowCheck] {
        QTimer::singleShot(0, window, lastWindowCheck);
    };
    c->miniPlayer.playerWindow->installEventFilter(
        new CloseWatcher(c->miniPlayer.playerWindow, lastWindowCheck));

    // Actions.
    for (auto* button : {c->ui.playPauseButton, c->miniPlayer.playerPlayPauseButton})
        QObject::connect(button, &QAbstractButton::clicked, c, &AudioController::playPauseToggle);
    for (auto* button : {c->ui.fastForwardButton, c->miniPlayer.playerFastForwardButton})
        QObject::connect(button, &QAbstractButton::clicked, c, &AudioController::fastForward);
    for (auto* button : {c->ui.rewindButton, c->miniPlayer.playerRewindButton})
        QObject::connect(button, &QAbstractButton::clicked, c, &AudioController::rewind);
    for (auto* slider : {c->ui.audioSlider, c->miniPlayer.playerAudioSlider})
        QObject::connect(slider, &FloatSlider::action, c, &AudioController::updateCurrentTimeFrom);
    for (auto* slider : {c->ui.sliderPlayerVolume, c->miniPlayer.miniPlayerVolume})
        QObject::connect(slider, &FloatSlider::action, c, &AudioController::updatePlayerVolumeFrom);
    c->connectEffectControls();
    c->connectZoomSlider();
    QObject::connect(c->ui.resetZoomButton, &QAbstractButton::clicked, c, &AudioController::resetZoomValueFrom);
    QObject::connect(c->miniPlayer.editorButton, &QAbstractButton::clicked, c, &AudioController::showEditorWindowFrom);
    QObject::connect(c->ui.animateLibraryButton, &QAbstractButton::clicked, c,
                     [c] { c->animateLibraryViewFrom(c->ui.animateLibraryButton); });
    QObject::connect(c->ui.animateEQViewButton, &QAbstractButton::clicked, c,
                     [c] { c->animateEQViewFrom(c->ui.animateEQViewButton); });

    // Menus.
    QObject::connect(c->ui.preferencesAction, &QAction::triggered, d,
                     &AppDelegate::openPreferencesWindowFrom);
    QObject::connect(c->ui.quitAction, &QAction::triggered, d, &AppDelegate::terminate);
    // Undo and Redo act on the unit panel's history while the panel is the
    // active window, on the main window's otherwise.
    QObject::connect(c->ui.undoAction, &QAction::triggered, c, [c] {
        if (UndoManager* um = c->activeUndoManager(); um->canUndo()) um->undo();
    });
    QObject::connect(c->ui.redoAction, &QAction::triggered, c, [c] {
        if (UndoManager* um = c->activeUndoManager(); um->canRedo()) um->redo();
    });
    // The items follow the history as it changes, so their shortcuts always
    // act on what can be undone or redone, whether or not the menu was opened.
    auto followHistory = [c] {
        UndoManager* um = c->activeUndoManager();
        c->ui.undoAction->setEnabled(um->canUndo());
        c->ui.redoAction->setEnabled(um->canRedo());
    };
    QObject::connect(c->undoManager(), &UndoManager::stateChanged, c, followHistory);
    QObject::connect(c->audioUnitPanelUndoManager(), &UndoManager::stateChanged, c, followHistory);
    QObject::connect(qApp, &QApplication::focusWindowChanged, c, followHistory);
    followHistory();
    QObject::connect(c->ui.importAction, &QAction::triggered, c, &AudioController::importAudioFileFrom);
    QObject::connect(c->ui.playPauseAction, &QAction::triggered, c, &AudioController::playPauseToggle);
    QObject::connect(c->ui.fastForwardAction, &QAction::triggered, c, &AudioController::fastForward);
    QObject::connect(c->ui.rewindAction, &QAction::triggered, c, &AudioController::rewind);
    QObject::connect(c->ui.miniPlayerAction, &QAction::triggered, c, &AudioController::showPlayerWindow);
    // File > "Add track source file to Library", after the library's
    // submenu; offered while a track is selected.
    if (auto* file = qobject_cast<QMenu*>(c->ui.importFromLibraryMenuItem->parent())) {
        auto* addSource = new QAction(QStringLiteral("Add track source file to Library"), file);
        addSource->setObjectName(QStringLiteral("addTrackSourceToLibraryAction"));
        const QList<QAction*> items = file->actions();
        file->insertAction(items.value(items.indexOf(c->ui.importFromLibraryMenuItem) + 1), addSource);
        QObject::connect(addSource, &QAction::triggered, c, &AudioController::menuAddAudioTrackToLibrary);
        QObject::connect(file, &QMenu::aboutToShow, c, [c, addSource] {
            addSource->setEnabled(c->trackAt(c->currentSelectedAudio.load()) != nullptr);
        });
    }
    QObject::connect(c->ui.libraryAction, &QAction::triggered, c,
                     [c] { c->animateLibraryViewFrom(c->ui.animateLibraryButton); });
    QObject::connect(c->ui.markersMenu, &QMenu::aboutToShow, d,
                     [d, menu = c->ui.markersMenu] { d->menuWillOpen(menu); });
    d->menuWillOpen(c->ui.markersMenu);

    // Preferences.
    QObject::connect(c->preferences.resetTrackColorButton, &QPushButton::clicked, d,
                     &AppDelegate::resetPreferencesTrackColor);
    QObject::connect(c->preferences.preferecesTrackColor, &ColorWell::colorChanged, c,
                     &AudioController::updateTrackColorFromPreferencesForAllFilters);
    QObject::connect(c->preferences.showEQFFTCheck, &QCheckBox::toggled, c,
                     [c, box = c->preferences.showEQFFTCheck] { c->showEQWaveformFrom(box); });

    installTrackListCommands(c);
    installUnitPanelCommands(c);
    installSelectionEditCommands(c);
    installExportCommands(c);
    installProjectCommands(c);
    installTrackMenuCommands(c);
    installPresetCommands(c);

    // Wake up, in the interface's order.
    c->awakeFromNib();
    d->awakeFromNib();
    return interface;
}

void applyDarkLook() {
    QApplication::setStyle(new DarkStyle);
    QPalette pal;
    const QColor background = palette::background();
    pal.setColor(QPalette::Window, background);
    pal.setColor(QPalette::WindowText, QColor(230, 230, 230));
    pal.setColor(QPalette::Base, QColor(36, 34, 36));
    pal.setColor(QPalette::AlternateBase, background);
    pal.setColor(QPalette::Text, QColor(235, 235, 235));
    pal.setColor(QPalette::Button, QColor(58, 55, 58));
    pal.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    pal.setColor(QPalette::Highlight, palette::orange());
    pal.setColor(QPalette::HighlightedText, Qt::black);
    pal.setColor(QPalette::ToolTipBase, background);
    pal.setColor(QPalette::ToolTipText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::Highlight, QColor(90, 90, 90));
    QApplication::setPalette(pal);
}

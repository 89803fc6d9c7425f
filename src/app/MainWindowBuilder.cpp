#include "app/MainWindowBuilder.h"

#include "app/EffectControls.h"
#include "views/AudioView.h"
#include "views/EQSubview.h"
#include "views/FloatSlider.h"
#include "views/LibraryView.h"
#include "views/LineView.h"
#include "views/MusicView.h"
#include "views/RecordingViews.h"
#include "views/NotesPanel.h"
#include "views/NumberTextField.h"
#include "views/Palette.h"
#include "views/SmallViews.h"
#include "views/StyledControls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QPushButton>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    // "[*]" shows the edited mark in the title.
    setWindowTitle(QStringLiteral("Trevalune[*]"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (windowShouldClose && !windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    if (windowDidClose) windowDidClose();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowDidResize) windowDidResize();
}

std::array<std::pair<FloatSlider*, NumberTextField*>, 27> MainWindowUi::effectControls() const {
    return {{
#define TREVALUNE_EFFECT_PAIR(N) {slider##N, textField##N},
        TREVALUNE_EFFECT_OUTLETS(TREVALUNE_EFFECT_PAIR)
#undef TREVALUNE_EFFECT_PAIR
    }};
}

namespace {

QLabel* timeLabel(QWidget* parent, Qt::Alignment alignment) {
    auto* label = new QLabel(QStringLiteral("00:00:00"), parent);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setStyleSheet(QStringLiteral("color: rgb(220,220,220); font-size: 11px;"));
    return label;
}

QWidget* panelTitle(const QString& text, QWidget* parent) {
    auto* title = new QLabel(text, parent);
    title->setStyleSheet(QStringLiteral("color: rgb(255,186,38); font-weight: bold;"));
    return title;
}

// A strip under the thumbnail column as high as the track area's horizontal
// scroller, so both columns show the same height of rows and scroll through
// the same range.
class ScrollerStrip : public QWidget {
public:
    ScrollerStrip(QWidget* parent, QScrollBar* scroller) : QWidget(parent), scroller_(scroller) {
        scroller->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == scroller_ &&
            (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            follow();
        return QWidget::eventFilter(watched, event);
    }

private:
    // The scroller is always on; until it is laid out its hint stands in.
    void follow() {
        setFixedHeight(scroller_->isVisible() ? scroller_->height() : scroller_->sizeHint().height());
    }
    QScrollBar* scroller_;
};

PlayPauseButton* transportButton(QWidget* parent, const QString& tip) {
    auto* button = new PlayPauseButton(parent);
    button->setToolTip(tip);
    return button;
}

}  // namespace

namespace {

// A small window shown beside a control, as a popover: `popup` ones close
// when the user clicks elsewhere, the others stay until closed.
QWidget* makePopover(QWidget* parent, bool popup) {
    auto* popover = new QFrame(parent, popup ? Qt::Popup : (Qt::Tool | Qt::FramelessWindowHint));
    popover->setFrameShape(QFrame::StyledPanel);
    popover->setAutoFillBackground(true);
    QPalette palette = popover->palette();
    palette.setColor(QPalette::Window, QColor(48, 46, 48));
    palette.setColor(QPalette::WindowText, QColor(220, 220, 220));
    popover->setPalette(palette);
    return popover;
}

// The record area: the record button with the count-down label over it
// and the elapsed time beside it, the recording's meter and the button of
// the waveform popover. The labels sit at the origins the recording gives
// them, measured from the area's bottom left.
void buildRecordingControls(MainWindowUi& ui, QHBoxLayout* controls) {
    ui.recordArea = new QWidget(ui.controlsView);
    ui.recordArea->setObjectName(QStringLiteral("recordArea"));
    ui.recordArea->setFixedSize(140, 48);
    ui.recordView = new RecordView(ui.recordArea);
    ui.recordView->setObjectName(QStringLiteral("recordView"));
    ui.recordView->setToolTip(QStringLiteral("Record Audio"));
    ui.recordView->setGeometry(10, 12, 24, 24);
    const QString labelStyle = QStringLiteral("color: rgb(230,230,230); font-size: 11px;");
    ui.recordLabel = new QLabel(QStringLiteral("Record Audio"), ui.recordArea);
    ui.recordLabel->setObjectName(QStringLiteral("recordLabel"));
    ui.recordLabel->setStyleSheet(labelStyle);
    ui.recordLabel->resize(90, 16);
    ui.recordLabel->hide();
    ui.timerLabel = new QLabel(QStringLiteral("Timer"), ui.recordArea);
    ui.timerLabel->setObjectName(QStringLiteral("timerLabel"));
    ui.timerLabel->setStyleSheet(labelStyle);
    ui.timerLabel->resize(80, 16);
    ui.timerLabel->hide();
    controls->addWidget(ui.recordArea);

    ui.recordingMeteringView = new AudioMeteringView(ui.controlsView);
    ui.recordingMeteringView->setObjectName(QStringLiteral("recordingMeteringView"));
    ui.recordingMeteringView->setFixedSize(14, 40);
    controls->addWidget(ui.recordingMeteringView);
    ui.waveButton = new QPushButton(QStringLiteral("Wave"), ui.controlsView);
    ui.waveButton->setObjectName(QStringLiteral("waveButton"));
    ui.waveButton->setToolTip(QStringLiteral("Show the recording's waveform"));
    ui.waveButton->setEnabled(false);
    ui.waveButton->hide();
    controls->addWidget(ui.waveButton);
    // The MIDI button: the selected track's notes (a capture hides it).
    ui.midiButton = new QPushButton(QStringLiteral("MIDI"), ui.controlsView);
    ui.midiButton->setObjectName(QStringLiteral("midiButton"));
    ui.midiButton->setToolTip(QStringLiteral("Play and edit the selected track's notes"));
    controls->addWidget(ui.midiButton);

    // The device popover.
    ui.recordingInfoPopover = makePopover(ui.controlsView, true);
    ui.recordingInfoPopover->setObjectName(QStringLiteral("recordingInfoPopover"));
    ui.recordingInfoView = ui.recordingInfoPopover;
    auto* info = new QVBoxLayout(ui.recordingInfoPopover);
    info->addWidget(new QLabel(QStringLiteral("Audio Input"), ui.recordingInfoPopover));
    ui.recordingDevicesPopUp = new QComboBox(ui.recordingInfoPopover);
    ui.recordingDevicesPopUp->setObjectName(QStringLiteral("recordingDevicesPopUp"));
    ui.recordingDevicesPopUp->setMinimumWidth(240);
    info->addWidget(ui.recordingDevicesPopUp);
    ui.recordingStartButton = new QPushButton(QStringLiteral("Record"), ui.recordingInfoPopover);
    ui.recordingStartButton->setObjectName(QStringLiteral("recordingStartButton"));
    ui.recordingStartButton->setDefault(true);
    info->addWidget(ui.recordingStartButton);
    ui.recordingInfoPopover->hide();

    // The waveform popover: the last minute, with its start, middle and end times.
    ui.recordingWavePopover = makePopover(ui.controlsView, false);
    ui.recordingWavePopover->setObjectName(QStringLiteral("recordingWavePopover"));
    auto* wave = new QVBoxLayout(ui.recordingWavePopover);
    ui.recordingWaveView = new RecordingWaveView(ui.recordingWavePopover);
    ui.recordingWaveView->setObjectName(QStringLiteral("recordingWaveView"));
    ui.recordingWaveView->setFixedSize(480, 120);
    wave->addWidget(ui.recordingWaveView);
    auto* times = new QHBoxLayout();
    ui.leftRecordingLabel = new QLabel(QStringLiteral("00:00:00"), ui.recordingWavePopover);
    ui.centerRecordingLabel = new QLabel(QStringLiteral("00:00:30"), ui.recordingWavePopover);
    ui.rightRecordingLabel = new QLabel(QStringLiteral("00:01:00"), ui.recordingWavePopover);
    ui.centerRecordingLabel->setAlignment(Qt::AlignCenter);
    ui.rightRecordingLabel->setAlignment(Qt::AlignRight);
    times->addWidget(ui.leftRecordingLabel);
    times->addWidget(ui.centerRecordingLabel, 1);
    times->addWidget(ui.rightRecordingLabel);
    wave->addLayout(times);
    ui.recordingWavePopover->hide();

    // The save panel's accessory.
    // Kept by the window, hidden, between two save panels.
    ui.recordingAccessoryView = new QWidget(ui.window);
    ui.recordingAccessoryView->hide();
    ui.recordingAccessoryView->setObjectName(QStringLiteral("recordingAccessoryView"));
    auto* accessory = new QHBoxLayout(ui.recordingAccessoryView);
    ui.recordingAddToTrevaluneLibraryCheck =
        new QCheckBox(QStringLiteral("Add to Trevalune Library"), ui.recordingAccessoryView);
    ui.recordingAddToTrevaluneLibraryCheck->setObjectName(QStringLiteral("recordingAddToTrevaluneLibraryCheck"));
    accessory->addWidget(ui.recordingAddToTrevaluneLibraryCheck);
}

}  // namespace

MainWindowUi buildMainWindow() {
    MainWindowUi ui;
    auto* window = new MainWindow();
    ui.window = window;
    window->resize(1280, 800);
    window->setMinimumSize(960, 600);

    auto* root = new BackgroundView(window);
    root->setObjectName(QStringLiteral("mainRoot"));
    window->setCentralWidget(root);
    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);

    auto* top = new QWidget(root);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    rootLayout->addWidget(top, 1);

    // Left column: the tracks' thumbnails, meters and labels, scrolled with the lanes.
    ui.leftBackgroundView = new DrawBackgroundView(top);
    ui.leftBackgroundView->setFixedWidth(250);
    auto* leftLayout = new QVBoxLayout(ui.leftBackgroundView);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* leftHeader = new QWidget(ui.leftBackgroundView);
    leftHeader->setFixedHeight(26);
    auto* leftHeaderLayout = new QHBoxLayout(leftHeader);
    leftHeaderLayout->setContentsMargins(12, 0, 8, 0);
    leftHeaderLayout->addWidget(panelTitle(QStringLiteral("Tracks"), leftHeader));
    // The track menu, the editing mode and the gestures' help.
    leftHeaderLayout->addStretch(1);
    auto headerButton = [&](const QString& title, const QString& tip, const QString& name) {
        auto* button = new QPushButton(title, leftHeader);
        button->setObjectName(name);
        button->setToolTip(tip);
        button->setFixedHeight(20);
        button->setStyleSheet(QStringLiteral("font-size: 11px; padding: 0 6px;"));
        leftHeaderLayout->addWidget(button);
        return button;
    };
    ui.trackMenuButton = headerButton(QStringLiteral("Menu"), QStringLiteral("The selected track's menu"),
                                      QStringLiteral("trackMenuButton"));
    ui.editingModeButton = headerButton(QStringLiteral("Mode"),
                                        QStringLiteral("Selection or trim & arrange on the selected track"),
                                        QStringLiteral("editingModeButton"));
    ui.laneInfoButton = headerButton(QStringLiteral("?"), QStringLiteral("The lane's mouse gestures"),
                                     QStringLiteral("laneInfoButton"));
    leftLayout->addWidget(leftHeader);
    ui.leftScrollView = new QScrollArea(ui.leftBackgroundView);
    ui.leftScrollView->setFrameShape(QFrame::NoFrame);
    ui.leftScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.leftScrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.musicLeftView = new BackgroundView();
    ui.musicLeftView->resize(250, 0);
    ui.leftScrollView->setWidget(ui.musicLeftView);
    ui.leftScrollView->setWidgetResizable(false);
    leftLayout->addWidget(ui.leftScrollView, 1);
    topLayout->addWidget(ui.leftBackgroundView);

    // Timeline: the ruler's time labels over the track area.
    auto* timeline = new QWidget(top);
    auto* timelineLayout = new QVBoxLayout(timeline);
    timelineLayout->setContentsMargins(0, 0, 0, 0);
    timelineLayout->setSpacing(0);
    auto* rulerLabels = new ShadowBackgroundView(timeline);
    rulerLabels->setFixedHeight(26);
    auto* rulerLayout = new QHBoxLayout(rulerLabels);
    rulerLayout->setContentsMargins(4, 0, 4, 0);
    ui.leftTimeLabel = timeLabel(rulerLabels, Qt::AlignLeft);
    ui.leftMiddleTimeLabel = timeLabel(rulerLabels, Qt::AlignHCenter);
    ui.middleTimeLabel = timeLabel(rulerLabels, Qt::AlignHCenter);
    ui.rightMiddleTimeLabel = timeLabel(rulerLabels, Qt::AlignHCenter);
    ui.rightTimeLabel = timeLabel(rulerLabels, Qt::AlignRight);
    for (auto* label : {ui.leftTimeLabel, ui.leftMiddleTimeLabel, ui.middleTimeLabel,
                        ui.rightMiddleTimeLabel, ui.rightTimeLabel})
        rulerLayout->addWidget(label, 1);
    timelineLayout->addWidget(rulerLabels);
    ui.audioScrollView = new AudioScrollView(timeline);
    ui.audioScrollView->setFrameShape(QFrame::NoFrame);
    ui.audioScrollView->setWidgetResizable(false);
    ui.audioScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ui.audioScrollView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui.audioScrollView->viewport()->setAutoFillBackground(true);
    {
        QPalette pal = ui.audioScrollView->viewport()->palette();
        pal.setColor(QPalette::Window, palette::backgroundGrey());
        ui.audioScrollView->viewport()->setPalette(pal);
    }
    ui.audioView = new AudioView();
    ui.audioScrollView->setWidget(ui.audioView);
    // The track area's scrollers sit on dark slots that meet in the corner;
    // the ruler labels' frame stops where the vertical one begins.
    ui.audioScrollView->setHorizontalScrollBar(new CustomScroller(Qt::Horizontal));
    ui.audioScrollView->setVerticalScrollBar(new CustomScroller(Qt::Vertical));
    rulerLabels->setScrollView(ui.audioScrollView);
    timelineLayout->addWidget(ui.audioScrollView, 1);
    topLayout->addWidget(timeline, 1);
    leftLayout->addWidget(new ScrollerStrip(ui.leftBackgroundView,
                                            ui.audioScrollView->horizontalScrollBar()));

    // Right column: the effect controls, the library title bar and the library.
    auto* inspector = new DrawBackgroundView(top);
    inspector->setFixedWidth(320);
    auto* inspectorLayout = new QVBoxLayout(inspector);
    inspectorLayout->setContentsMargins(0, 0, 0, 0);
    inspectorLayout->setSpacing(0);
    ui.parametersBackgroundView = new ColorBackgroundView(inspector);
    auto* parametersLayout = new QVBoxLayout(ui.parametersBackgroundView);
    parametersLayout->setContentsMargins(1, 1, 1, 1);
    parametersLayout->setSpacing(0);
    ui.filtersScrollView = new QScrollArea(ui.parametersBackgroundView);
    ui.filtersScrollView->setFrameShape(QFrame::NoFrame);
    ui.filtersScrollView->setWidgetResizable(true);
    ui.filtersScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.filtersScrollView->setVerticalScrollBar(new CustomTransparentScroller(Qt::Vertical));
    auto* filters = new QWidget();
    filters->setObjectName(QStringLiteral("filters"));
    auto* grid = new QGridLayout(filters);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    grid->setColumnStretch(1, 1);
    std::array<FloatSlider**, 27> sliders = {
#define TREVALUNE_SLIDER_REF(N) &ui.slider##N,
        TREVALUNE_EFFECT_OUTLETS(TREVALUNE_SLIDER_REF)
#undef TREVALUNE_SLIDER_REF
    };
    std::array<NumberTextField**, 27> fields = {
#define TREVALUNE_FIELD_REF(N) &ui.textField##N,
        TREVALUNE_EFFECT_OUTLETS(TREVALUNE_FIELD_REF)
#undef TREVALUNE_FIELD_REF
    };
    int row = 0;
    for (int i = 0; i < EffectInputCount; ++i) {
        const EffectControl& input = effectControlTable[size_t(i)];
        if (i == 16) {
            auto* eqTitle = panelTitle(QStringLiteral("Equaliser"), filters);
            grid->addWidget(eqTitle, row++, 0, 1, 3);
        }
        auto* caption = new QLabel(QString::fromLatin1(input.title), filters);
        caption->setStyleSheet(QStringLiteral("color: rgb(210,210,210); font-size: 11px;"));
        auto* slider = new FloatSlider(Qt::Horizontal, filters);
        slider->setObjectName(QStringLiteral("slider") + QLatin1String(input.name));
        slider->setRange(input.minValue, input.maxValue);
        auto* field = new NumberTextField(filters);
        field->setObjectName(QStringLiteral("textField") + QLatin1String(input.name));
        field->setFixedWidth(64);
        *sliders[size_t(i)] = slider;
        *fields[size_t(i)] = field;
        grid->addWidget(caption, row, 0);
        grid->addWidget(slider, row, 1);
        grid->addWidget(field, row, 2);
        ++row;
    }
    grid->setRowStretch(row, 1);
    ui.filtersScrollView->setWidget(filters);
    parametersLayout->addWidget(ui.filtersScrollView);
    inspectorLayout->addWidget(ui.parametersBackgroundView, 1);

    ui.libraryTitleView = new DrawBackgroundView(inspector);
    ui.libraryTitleView->setFixedHeight(30);
    auto* libraryTitleLayout = new QHBoxLayout(ui.libraryTitleView);
    libraryTitleLayout->setContentsMargins(10, 2, 10, 2);
    libraryTitleLayout->addWidget(panelTitle(QStringLiteral("Media Library"), ui.libraryTitleView));
    libraryTitleLayout->addStretch(1);
    ui.animateLibraryButton = new ColoredButton(QStringLiteral("Library"), ui.libraryTitleView);
    libraryTitleLayout->addWidget(ui.animateLibraryButton);
    inspectorLayout->addWidget(ui.libraryTitleView);

    ui.libraryBackgroundView = new ColorBackgroundView(inspector);
    ui.libraryBackgroundView->setFixedHeight(250);
    auto* libraryLayout = new QVBoxLayout(ui.libraryBackgroundView);
    libraryLayout->setContentsMargins(1, 1, 1, 1);
    ui.libraryScrollView = new QScrollArea(ui.libraryBackgroundView);
    ui.libraryScrollView->setFrameShape(QFrame::NoFrame);
    ui.libraryScrollView->setVerticalScrollBar(new CustomTransparentScroller(Qt::Vertical));
    ui.libraryScrollView->setHorizontalScrollBar(new CustomTransparentScroller(Qt::Horizontal));
    ui.libraryView = new LibraryView();
    ui.libraryView->setObjectName(QStringLiteral("libraryView"));
    ui.libraryScrollView->setWidget(ui.libraryView);
    libraryLayout->addWidget(ui.libraryScrollView);
    inspectorLayout->addWidget(ui.libraryBackgroundView);
    topLayout->addWidget(inspector);

    // The equaliser strip.
    ui.eqView = new EQSubview(root);
    ui.eqView->setFixedHeight(110);
    rootLayout->addWidget(ui.eqView);

    // The control bar.
    ui.controlsView = new ColorBackgroundView(root);
    ui.controlsView->setFixedHeight(56);
    auto* controls = new QHBoxLayout(ui.controlsView);
    controls->setContentsMargins(12, 4, 12, 4);
    controls->setSpacing(8);
    ui.rewindButton = transportButton(ui.controlsView, QStringLiteral("Rewind"));
    ui.playPauseButton = transportButton(ui.controlsView, QStringLiteral("Play/Pause"));
    ui.fastForwardButton = transportButton(ui.controlsView, QStringLiteral("Fast Forward"));
    static_cast<ColorBackgroundView*>(ui.controlsView)->playPauseButton = ui.playPauseButton;
    controls->addWidget(ui.rewindButton);
    controls->addWidget(ui.playPauseButton);
    controls->addWidget(ui.fastForwardButton);
    ui.labelStart = timeLabel(ui.controlsView, Qt::AlignRight);
    ui.labelStart->setMinimumWidth(64);
    ui.audioSlider = new FloatSlider(Qt::Horizontal, ui.controlsView);
    ui.audioSlider->setObjectName(QStringLiteral("audioSlider"));
    ui.labelEnd = timeLabel(ui.controlsView, Qt::AlignLeft);
    ui.labelEnd->setText(QStringLiteral("-00:00:00"));
    ui.labelEnd->setMinimumWidth(70);
    controls->addWidget(ui.labelStart);
    controls->addWidget(ui.audioSlider, 1);
    controls->addWidget(ui.labelEnd);
    controls->addSpacing(8);
    auto* volumeCaption = new QLabel(QStringLiteral("Volume"), ui.controlsView);
    volumeCaption->setStyleSheet(QStringLiteral("color: rgb(210,210,210); font-size: 11px;"));
    ui.sliderPlayerVolume = new FloatSlider(Qt::Horizontal, ui.controlsView);
    ui.sliderPlayerVolume->setObjectName(QStringLiteral("sliderPlayerVolume"));
    ui.sliderPlayerVolume->setRange(0, 1);
    ui.sliderPlayerVolume->setFixedWidth(90);
    controls->addWidget(volumeCaption);
    controls->addWidget(ui.sliderPlayerVolume);
    controls->addSpacing(8);
    auto* lengthCaption = new QLabel(QStringLiteral("Length"), ui.controlsView);
    lengthCaption->setStyleSheet(volumeCaption->styleSheet());
    ui.textFieldDurationMinutes = new NumberTextField(ui.controlsView);
    ui.textFieldDurationMinutes->setObjectName(QStringLiteral("textFieldDurationMinutes"));
    ui.textFieldDurationMinutes->setFixedWidth(44);
    ui.textFieldDurationMinutes->setToolTip(QStringLiteral("Minutes"));
    ui.textFieldDurationSeconds = new NumberTextField(ui.controlsView);
    ui.textFieldDurationSeconds->setObjectName(QStringLiteral("textFieldDurationSeconds"));
    ui.textFieldDurationSeconds->setFixedWidth(44);
    ui.textFieldDurationSeconds->setToolTip(QStringLiteral("Seconds"));
    controls->addWidget(lengthCaption);
    controls->addWidget(ui.textFieldDurationMinutes);
    controls->addWidget(ui.textFieldDurationSeconds);
    controls->addSpacing(8);
    auto* zoomCaption = new QPushButton(QStringLiteral("Zoom"), ui.controlsView);
    zoomCaption->setObjectName(QStringLiteral("resetZoomButton"));
    zoomCaption->setFlat(true);
    zoomCaption->setFocusPolicy(Qt::NoFocus);
    zoomCaption->setCursor(Qt::PointingHandCursor);
    zoomCaption->setToolTip(QStringLiteral("Reset Zoom"));
    zoomCaption->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; %1 }")
                                   .arg(volumeCaption->styleSheet()));
    ui.resetZoomButton = zoomCaption;
    ui.zoomSlider = new FloatSlider(Qt::Horizontal, ui.controlsView);
    ui.zoomSlider->setObjectName(QStringLiteral("zoomSlider"));
    ui.zoomSlider->setRange(1, 20);
    ui.zoomSlider->setFloatValue(1);
    ui.zoomSlider->setFixedWidth(90);
    controls->addWidget(zoomCaption);
    controls->addWidget(ui.zoomSlider);
    ui.animateEQViewButton = new ColoredButton(QStringLiteral("EQ"), ui.controlsView);
    controls->addWidget(ui.animateEQViewButton);
    controls->addSpacing(8);
    buildRecordingControls(ui, controls);
    rootLayout->addWidget(ui.controlsView);

    // Menus.
    auto* bar = window->menuBar();
    auto* appMenu = bar->addMenu(QStringLiteral("Trevalune"));
    ui.preferencesAction = appMenu->addAction(QStringLiteral("Preferences…"));
    ui.preferencesAction->setShortcut(QKeySequence::Preferences);
    ui.preferencesAction->setMenuRole(QAction::PreferencesRole);
    ui.markersMenu = appMenu->addMenu(QStringLiteral("Markers"));
    appMenu->addSeparator();
    ui.quitAction = appMenu->addAction(QStringLiteral("Quit Trevalune"));
    ui.quitAction->setShortcut(QKeySequence::Quit);
    ui.quitAction->setMenuRole(QAction::QuitRole);

    auto* fileMenu = bar->addMenu(QStringLiteral("File"));
    ui.importAction = fileMenu->addAction(QStringLiteral("Import audio file..."));
    ui.importAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+I")));
    ui.importFromLibraryMenuItem = fileMenu->addAction(QStringLiteral("Import from Library"));
    ui.importFromLibraryMenuItem->setObjectName(QStringLiteral("importFromLibraryMenuItem"));

    auto* editMenu = bar->addMenu(QStringLiteral("Edit"));
    ui.undoAction = editMenu->addAction(QStringLiteral("Undo"));
    // Every key of the desktop's for each (Redo is Ctrl+Shift+Z as well as Ctrl+Y).
    ui.undoAction->setShortcuts(QKeySequence::Undo);
    ui.redoAction = editMenu->addAction(QStringLiteral("Redo"));
    ui.redoAction->setShortcuts(QKeySequence::Redo);

    auto* controlsMenu = bar->addMenu(QStringLiteral("Controls"));
    ui.playPauseAction = controlsMenu->addAction(QStringLiteral("Play/Pause"));
    ui.playPauseAction->setShortcut(QKeySequence(Qt::Key_Space));
    ui.fastForwardAction = controlsMenu->addAction(QStringLiteral("Fast Forward"));
    ui.fastForwardAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    ui.rewindAction = controlsMenu->addAction(QStringLiteral("Rewind"));
    ui.rewindAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    controlsMenu->addSeparator();
    ui.startRecorderAction = controlsMenu->addAction(QStringLiteral("Record from Default Input"));
    ui.endRecorderAction = controlsMenu->addAction(QStringLiteral("Stop Recording from Default Input"));

    auto* windowMenu = bar->addMenu(QStringLiteral("Window"));
    ui.miniPlayerAction = windowMenu->addAction(QStringLiteral("Mini Player"));
    ui.miniPlayerAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    ui.libraryAction = windowMenu->addAction(QStringLiteral("Media Library"));
    ui.libraryAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    // The notes panel floats over the main window and starts hidden.
    ui.notesPanel = new NotesPanel(window);

    return ui;
}

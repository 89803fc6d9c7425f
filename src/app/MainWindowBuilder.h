#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <utility>

class AudioScrollView;
class AudioMeteringView;
class AudioView;
class QCheckBox;
class QComboBox;
class QPushButton;
class RecordView;
class RecordingWaveView;
class ColoredButton;
class DrawBackgroundView;
class EQSubview;
class NotesPanel;
class FloatSlider;
class LineView;
class LibraryView;
class NumberTextField;
class PlayPauseButton;
class QAction;
class QLabel;
class QMenu;
class QScrollArea;
class QWidget;

// The main window. Its close box and resizing go to its delegate (the
// window controller).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // Answers whether the window may close (the save question).
    std::function<bool()> windowShouldClose;
    std::function<void()> windowDidResize;
    // Called after the window has closed.
    std::function<void()> windowDidClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

#define TREVALUNE_EFFECT_OUTLETS(X)                                                            \
    X(ChannelMix) X(Speed) X(AudioMix) X(Pitch) X(Reverb) X(Ambience) X(LowShelfCutoff)        \
    X(LowShelfGain) X(FadeIn) X(FadeOut) X(LowPassCutoff) X(LowPassResonance) X(HighPassCutoff) \
    X(HighPassResonance) X(BandpassCenter) X(BandpassBandwidth) X(GlobalGain) X(Gain32)        \
    X(Gain64) X(Gain125) X(Gain250) X(Gain500) X(Gain1K) X(Gain2K) X(Gain4K) X(Gain8K)         \
    X(Gain16K)

// The controls of the main window, by the names the controller uses.
struct MainWindowUi {
    MainWindow* window = nullptr;
    NotesPanel* notesPanel = nullptr;  // a track's notes, hidden until asked for

    // Track area and timeline.
    AudioScrollView* audioScrollView = nullptr;
    AudioView* audioView = nullptr;
    QScrollArea* leftScrollView = nullptr;
    QWidget* musicLeftView = nullptr;  // thumbnails, meters and labels of the tracks
    QWidget* leftBackgroundView = nullptr;
    LineView* lineView = nullptr;      // laid over the track area by the controller
    QWidget* lineViewContainer = nullptr;
    QLabel* leftTimeLabel = nullptr;
    QLabel* leftMiddleTimeLabel = nullptr;
    QLabel* middleTimeLabel = nullptr;
    QLabel* rightMiddleTimeLabel = nullptr;
    QLabel* rightTimeLabel = nullptr;
    FloatSlider* zoomSlider = nullptr;
    QPushButton* resetZoomButton = nullptr;  // the "Zoom" caption: a click sets the zoom back to 1
    EQSubview* eqView = nullptr;           // the equaliser strip
    QWidget* controlsView = nullptr;       // the control bar at the bottom
    // Beside the track area: the selected track's menu, its editing mode and
    // the lane's mouse gestures.
    QPushButton* trackMenuButton = nullptr;
    QPushButton* editingModeButton = nullptr;
    QPushButton* laneInfoButton = nullptr;

    // Transport.
    PlayPauseButton* playPauseButton = nullptr;
    PlayPauseButton* fastForwardButton = nullptr;
    PlayPauseButton* rewindButton = nullptr;
    FloatSlider* audioSlider = nullptr;
    QLabel* labelStart = nullptr;
    QLabel* labelEnd = nullptr;
    FloatSlider* sliderPlayerVolume = nullptr;

    // Composition length.
    NumberTextField* textFieldDurationMinutes = nullptr;
    NumberTextField* textFieldDurationSeconds = nullptr;

    // Effect controls and the library panel below them.
    QWidget* parametersBackgroundView = nullptr;
    QScrollArea* filtersScrollView = nullptr;
#define TREVALUNE_DECLARE_EFFECT(N)          \
    FloatSlider* slider##N = nullptr;        \
    NumberTextField* textField##N = nullptr;
    TREVALUNE_EFFECT_OUTLETS(TREVALUNE_DECLARE_EFFECT)
#undef TREVALUNE_DECLARE_EFFECT
    QWidget* libraryTitleView = nullptr;
    QWidget* libraryBackgroundView = nullptr;
    QScrollArea* libraryScrollView = nullptr;
    LibraryView* libraryView = nullptr;
    ColoredButton* animateLibraryButton = nullptr;
    ColoredButton* animateEQViewButton = nullptr;

    // Recording: the record area of the control bar, the device popover,
    // the waveform popover and the save panel's accessory.
    QWidget* recordArea = nullptr;
    RecordView* recordView = nullptr;
    QLabel* recordLabel = nullptr;
    QLabel* timerLabel = nullptr;
    AudioMeteringView* recordingMeteringView = nullptr;
    QPushButton* waveButton = nullptr;
    QPushButton* midiButton = nullptr;  // built with the notes panel
    QWidget* recordingInfoPopover = nullptr;
    QComboBox* recordingDevicesPopUp = nullptr;
    QPushButton* recordingStartButton = nullptr;
    QWidget* recordingInfoView = nullptr;
    QWidget* recordingWavePopover = nullptr;
    RecordingWaveView* recordingWaveView = nullptr;
    QLabel* leftRecordingLabel = nullptr;
    QLabel* centerRecordingLabel = nullptr;
    QLabel* rightRecordingLabel = nullptr;
    QWidget* recordingAccessoryView = nullptr;
    QCheckBox* recordingAddToTrevaluneLibraryCheck = nullptr;
    QAction* startRecorderAction = nullptr;  // the simple recorder on the default input
    QAction* endRecorderAction = nullptr;

    // Menus.
    QAction* importAction = nullptr;  // File > Import audio file...
    QAction* importFromLibraryMenuItem = nullptr;  // File > the library's files
    QAction* preferencesAction = nullptr;
    QAction* quitAction = nullptr;
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QAction* playPauseAction = nullptr;
    QAction* fastForwardAction = nullptr;
    QAction* rewindAction = nullptr;
    QAction* miniPlayerAction = nullptr;
    QAction* libraryAction = nullptr;
    QMenu* markersMenu = nullptr;  // the application menu item listing the markers

    // The 27 effect sliders and their fields, in the effect input order.
    std::array<std::pair<FloatSlider*, NumberTextField*>, 27> effectControls() const;
};

// Builds the main window with its controls and menus, not yet shown.
MainWindowUi buildMainWindow();

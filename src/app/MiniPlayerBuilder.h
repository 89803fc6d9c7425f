#pragma once

class FloatSlider;
class PlayPauseButton;
class QLabel;
class QPushButton;
class QWidget;

// The mini-player window: transport, position, time labels, volume and the
// composition's title.
struct MiniPlayerUi {
    QWidget* playerWindow = nullptr;
    PlayPauseButton* playerPlayPauseButton = nullptr;
    PlayPauseButton* playerFastForwardButton = nullptr;
    PlayPauseButton* playerRewindButton = nullptr;
    FloatSlider* playerAudioSlider = nullptr;
    QLabel* playerLabelStart = nullptr;
    QLabel* playerLabelEnd = nullptr;
    FloatSlider* miniPlayerVolume = nullptr;
    QLabel* playerTextField = nullptr;
    // Brings the main window back when it was closed.
    QPushButton* editorButton = nullptr;
};

MiniPlayerUi buildMiniPlayerWindow(QWidget* parent);

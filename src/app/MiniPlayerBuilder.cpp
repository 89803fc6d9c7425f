#include "app/MiniPlayerBuilder.h"

#include "views/FloatSlider.h"
#include "views/StyledControls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MiniPlayerUi buildMiniPlayerWindow(QWidget* parent) {
    MiniPlayerUi ui;
    // A tool window of the main window: it stays open when the main window closes.
    auto* window = new DrawBackgroundView(parent);
    window->setWindowFlags(Qt::Window);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setWindowTitle(QStringLiteral("Trevalune"));
    window->resize(460, 130);
    ui.playerWindow = window;

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(12, 8, 12, 8);
    ui.playerTextField = new QLabel(QString(), window);
    ui.playerTextField->setAlignment(Qt::AlignCenter);
    ui.playerTextField->setStyleSheet(QStringLiteral("color: rgb(255,186,38); font-weight: bold;"));
    layout->addWidget(ui.playerTextField);

    auto* position = new QHBoxLayout();
    ui.playerLabelStart = new QLabel(QStringLiteral("00:00:00"), window);
    ui.playerLabelEnd = new QLabel(QStringLiteral("-00:00:00"), window);
    for (auto* label : {ui.playerLabelStart, ui.playerLabelEnd})
        label->setStyleSheet(QStringLiteral("color: rgb(220,220,220); font-size: 11px;"));
    ui.playerAudioSlider = new FloatSlider(Qt::Horizontal, window);
    ui.playerAudioSlider->setObjectName(QStringLiteral("playerAudioSlider"));
    position->addWidget(ui.playerLabelStart);
    position->addWidget(ui.playerAudioSlider, 1);
    position->addWidget(ui.playerLabelEnd);
    layout->addLayout(position);

    auto* transport = new QHBoxLayout();
    ui.playerRewindButton = new PlayPauseButton(window);
    ui.playerPlayPauseButton = new PlayPauseButton(window);
    ui.playerFastForwardButton = new PlayPauseButton(window);
    transport->addStretch(1);
    transport->addWidget(ui.playerRewindButton);
    transport->addWidget(ui.playerPlayPauseButton);
    transport->addWidget(ui.playerFastForwardButton);
    transport->addSpacing(16);
    ui.miniPlayerVolume = new FloatSlider(Qt::Horizontal, window);
    ui.miniPlayerVolume->setObjectName(QStringLiteral("miniPlayerVolume"));
    ui.miniPlayerVolume->setRange(0, 1);
    ui.miniPlayerVolume->setFixedWidth(90);
    transport->addWidget(ui.miniPlayerVolume);
    transport->addStretch(1);
    ui.editorButton = new QPushButton(QStringLiteral("Editor"), window);
    ui.editorButton->setObjectName(QStringLiteral("editorButton"));
    ui.editorButton->setFlat(true);
    ui.editorButton->setFocusPolicy(Qt::NoFocus);
    ui.editorButton->setCursor(Qt::PointingHandCursor);
    ui.editorButton->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 0; color: rgb(220,220,220); font-size: 11px; }"));
    transport->addWidget(ui.editorButton);
    layout->addLayout(transport);
    return ui;
}

#include "views/PreviewPanel.h"

#include "platform/core/TimeText.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PreviewPanel::PreviewPanel(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Quick Look"));
    auto* layout = new QVBoxLayout(this);
    pictureView = new QLabel(this);
    pictureView->setFixedSize(320, 320);
    pictureView->setAlignment(Qt::AlignCenter);
    pictureView->setStyleSheet(QStringLiteral("QLabel { background: #111; color: #aaa; font-size: 28px; }"));
    nameLabel = new QLabel(this);
    nameLabel->setAlignment(Qt::AlignCenter);
    lengthLabel = new QLabel(this);
    lengthLabel->setAlignment(Qt::AlignCenter);
    playButton = new QPushButton(QStringLiteral("Play"), this);
    layout->addWidget(pictureView, 0, Qt::AlignHCenter);
    layout->addWidget(nameLabel);
    layout->addWidget(lengthLabel);
    layout->addWidget(playButton, 0, Qt::AlignHCenter);
    connect(playButton, &QPushButton::clicked, this, [this] {
        if (playing_) {
            if (stop) stop();
        } else if (play && !path_.isEmpty()) {
            play(path_);
        }
    });
    connect(this, &QDialog::finished, this, [this] {
        if (playing_ && stop) stop();
    });
}

void PreviewPanel::setPreviewItem(const QString& path, double seconds, const QImage& picture) {
    if (playing_ && stop) stop();
    path_ = path;
    nameLabel->setText(QFileInfo(path).fileName());
    lengthLabel->setText(timeText(std::max(0.0, seconds)));
    if (picture.isNull()) {
        pictureView->setPixmap({});
        pictureView->setText(QFileInfo(path).suffix().toUpper());
    } else {
        pictureView->setPixmap(QPixmap::fromImage(
            picture.scaled(pictureView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
}

void PreviewPanel::setPlaying(bool playing) {
    playing_ = playing;
    playButton->setText(playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
}

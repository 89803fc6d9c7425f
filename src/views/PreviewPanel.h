#pragma once

// A quick look at one audio file: its name, length and picture, and a
// button that plays it. The panel is shared; the window controller gives it
// the file to show.

#include <QDialog>
#include <QImage>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

class PreviewPanel : public QDialog {
    Q_OBJECT
public:
    explicit PreviewPanel(QWidget* parent);

    // Shows `path` with its length in seconds and its picture (none: the
    // file's type is drawn instead).
    void setPreviewItem(const QString& path, double seconds, const QImage& picture);
    QString previewItemPath() const { return path_; }

    QLabel* nameLabel = nullptr;
    QLabel* lengthLabel = nullptr;
    QLabel* pictureView = nullptr;
    QPushButton* playButton = nullptr;
    // Play and stop, given by the window controller; `playing` tells the
    // button's title.
    std::function<void(const QString& path)> play;
    std::function<void()> stop;
    void setPlaying(bool playing);

private:
    QString path_;
    bool playing_ = false;
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class AudioController;
class AudioView;
class Player;
class PreviewPanel;

// The main window's delegate: resizing, and the save question on the close box.
class WindowController : public QObject {
    Q_OBJECT
public:
    explicit WindowController(QObject* parent = nullptr);

    AudioView* audioView = nullptr;
    AudioController* audioController = nullptr;

    void windowDidResize();
    void windowDidEndLiveResize();
    // Whether the main window may close now.
    bool windowShouldClose();

    // The shared preview panel, centred on the main window and brought to
    // the front, showing previewItem().
    void showQuickLookPanel();
    // The file the preview shows: the library's selected row when the panel
    // was opened from the library (that request is then used up), else the
    // selected track's source; empty when there is none.
    QUrl previewItem() const;
    PreviewPanel* previewPanel() const;
    ~WindowController() override;

private:
    void playPreview(const QString& path);
    void stopPreview();
    QPointer<PreviewPanel> previewPanel_;
    std::unique_ptr<Player> previewPlayer_;
};

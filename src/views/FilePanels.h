#pragma once

// The application's own file panels (the same on every desktop): a message
// shown above the files, and panels for documents that are folders, such as
// project folders.

#include <QFileDialog>
#include <QFileIconProvider>

#include <functional>

// Puts `message` in a row of its own above the panel's contents, as the
// label "panelMessage". Nothing for an empty message.
void showPanelMessage(QFileDialog& panel, const QString& message);

// Whether `path` names a folder document: its name ends in "." and
// `extension`, in any case.
bool isPackagePath(const QString& path, const QString& extension);

// A panel for documents that are folders ending in `.extension`. Such a
// folder is one item: choosing it (a click and the accept button, or a
// double click) picks it; it is never opened and browsed. Other folders are
// browsed as usual.
//
// Open: only folders are listed; a document folder is accepted, another
// folder is entered.
// Save: the name typed gets the extension; choosing an existing document
// folder asks `confirmReplace` first and, when it answers yes, accepts it.
class PackagePanel : public QFileDialog {
    Q_OBJECT
public:
    PackagePanel(QWidget* parent, const QString& extension, QFileDialog::AcceptMode mode);

    // Asked before an existing document folder is chosen in a save panel;
    // true to replace it. Without it the folder is chosen without asking.
    std::function<bool(const QString& path)> confirmReplace;

public slots:
    void accept() override;

private:
    // A document folder has the look of a file.
    class IconProvider : public QFileIconProvider {
    public:
        explicit IconProvider(QString extension) : extension_(std::move(extension)) {}
        QIcon icon(const QFileInfo& info) const override;
        using QFileIconProvider::icon;

    private:
        QString extension_;
    };

    void chosenByEntering(const QString& folder);

    QString extension_;
    IconProvider icons_;
};

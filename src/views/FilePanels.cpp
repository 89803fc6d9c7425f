#include "views/FilePanels.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <vector>

void showPanelMessage(QFileDialog& panel, const QString& message) {
    auto* grid = qobject_cast<QGridLayout*>(panel.layout());
    if (message.isEmpty() || !grid) return;
    // Every item moves one row down; the message takes the first row.
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed p{};
        grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(0);
        placed.push_back(p);
    }
    for (const Placed& p : placed) grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan);
    auto* label = new QLabel(message, &panel);
    label->setObjectName(QStringLiteral("panelMessage"));
    label->setWordWrap(true);
    grid->addWidget(label, 0, 0, 1, qMax(1, grid->columnCount()));
}

bool isPackagePath(const QString& path, const QString& extension) {
    return !extension.isEmpty() &&
           QFileInfo(path).suffix().compare(extension, Qt::CaseInsensitive) == 0;
}

QIcon PackagePanel::IconProvider::icon(const QFileInfo& info) const {
    if (info.isDir() && isPackagePath(info.fileName(), extension_)) return QFileIconProvider::icon(File);
    return QFileIconProvider::icon(info);
}

PackagePanel::PackagePanel(QWidget* parent, const QString& extension, QFileDialog::AcceptMode mode)
    : QFileDialog(parent), extension_(extension), icons_(extension) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setIconProvider(&icons_);
    setAcceptMode(mode);
    if (mode == QFileDialog::AcceptOpen) {
        // Folders are what can be chosen; only document folders are accepted.
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        setFileMode(QFileDialog::AnyFile);
        setDefaultSuffix(extension);
    }
    // A double click opens a folder before anything can ask: a document
    // folder entered is a document folder chosen.
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
        if (isPackagePath(folder, extension_)) chosenByEntering(folder);
    });
}

void PackagePanel::chosenByEntering(const QString& folder) {
    const QFileInfo info(folder);
    setDirectory(info.absolutePath());
    selectFile(info.fileName());
    accept();
}

void PackagePanel::accept() {
    if (acceptMode() == QFileDialog::AcceptSave) {
        // Qt adds the default suffix only to a name without a dot: a document
        // named "Take 2.1" (or the default name, which holds the time) would
        // be saved without its extension, and could not be opened again.
        const QString chosen = selectedFiles().value(0);
        if (!chosen.isEmpty() && !isPackagePath(chosen, extension_)) {
            const QString named = chosen + QLatin1Char('.') + extension_;
            selectFile(named);
            // selectFile leaves the name field as it is while the field has
            // the keyboard focus, as it has when Return was pressed in it:
            // the name with its extension goes into the field itself.
            if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(QFileInfo(named).fileName());
        }
    }
    const QString path = selectedFiles().value(0);
    const QFileInfo info(path);
    if (info.isDir() && isPackagePath(path, extension_)) {
        if (acceptMode() == QFileDialog::AcceptSave && confirmReplace && !confirmReplace(info.absoluteFilePath()))
            return;
        // Chosen as it is: QFileDialog would open it.
        QDialog::accept();
        return;
    }
    if (acceptMode() == QFileDialog::AcceptOpen) {
        // Any other folder is browsed, never chosen.
        if (info.isDir()) setDirectory(info.absoluteFilePath());
        return;
    }
    QFileDialog::accept();
}

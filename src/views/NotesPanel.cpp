#include "views/NotesPanel.h"

NotesPanel::NotesPanel(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Notes"));
    setModal(false);
    resize(640, 320);
}

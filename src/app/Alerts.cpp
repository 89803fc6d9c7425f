#include "app/Alerts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace {
AlertRunner& runner() {
    static AlertRunner r;
    return r;
}
}  // namespace

void setAlertRunner(AlertRunner r) { runner() = std::move(r); }

int runModalAlert(QWidget* parent, const AlertRequest& request) {
    if (runner()) return runner()(parent, request);
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setText(request.messageText);
    box.setInformativeText(request.informativeText);
    std::vector<QPushButton*> buttons;
    for (int i = 0; i < request.buttons.size(); ++i) {
        auto role = i == 0 ? QMessageBox::AcceptRole
                           : (i == request.buttons.size() - 1 && request.buttons.size() > 2
                                  ? QMessageBox::RejectRole
                                  : QMessageBox::DestructiveRole);
        if (request.buttons.size() == 1) role = QMessageBox::AcceptRole;
        buttons.push_back(box.addButton(request.buttons[i], role));
    }
    if (!buttons.empty()) box.setDefaultButton(buttons.front());
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return int(i);
    return -1;
}

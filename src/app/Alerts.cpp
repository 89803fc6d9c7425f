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

QString typographicQuotes(const QString& text) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] != QLatin1Char('"')) continue;
        // A quotation opens at the start, after a space or an opening bracket.
        const bool opens = i == 0 || out[i - 1].isSpace() || out[i - 1] == QLatin1Char('(') ||
                           out[i - 1] == QLatin1Char('[');
        out[i] = opens ? QChar(0x201C) : QChar(0x201D);
    }
    return out;
}

int runModalAlert(QWidget* parent, const AlertRequest& original) {
    AlertRequest request = original;
    request.messageText = typographicQuotes(original.messageText);
    request.informativeText = typographicQuotes(original.informativeText);
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

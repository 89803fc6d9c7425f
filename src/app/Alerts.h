#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// A modal question with its buttons in order; the answer is the index of the
// button chosen, or -1 when the alert was dismissed otherwise.
struct AlertRequest {
    QString messageText;
    QString informativeText;
    QStringList buttons;
};

using AlertRunner = std::function<int(QWidget* parent, const AlertRequest&)>;

int runModalAlert(QWidget* parent, const AlertRequest& request);
// Replaces the message box (the tests answer the questions this way);
// an empty runner restores the message box.
void setAlertRunner(AlertRunner runner);

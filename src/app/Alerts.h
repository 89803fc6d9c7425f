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

// Shows the alert with its texts in one quotation style (see typographicQuotes).
int runModalAlert(QWidget* parent, const AlertRequest& request);
// Alerts join texts from several places (a file's name in our sentence, a
// reason from the media layer): straight double quotes become curly ones, “
// where a quotation opens and ” where it closes, so one message never mixes
// the two styles.
QString typographicQuotes(const QString& text);
// Replaces the message box (the tests answer the questions this way);
// an empty runner restores the message box.
void setAlertRunner(AlertRunner runner);

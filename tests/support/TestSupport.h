#pragma once

#include <QEvent>
#include <QObject>
#include <QString>

#include <functional>

namespace testsupport {

// Runs the event loop until `done` holds or `timeoutMs` passes; true if it held.
// The default is for what must happen: under the sanitizers, beside busy
// programs, an import that takes a tenth of a second took over five.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// Runs the event loop for `ms` milliseconds.
void spin(int ms);
// A fresh empty folder under the test's home, removed at exit.
QString tempDir();

// A write cut off where it stands: forks a child that runs `work` and then
// waits to be killed; `work` calls `started` once the part that counts has
// begun, and the child is killed `delayUs` microseconds after that. True once
// the killed child has been reaped; a child that has not begun after ten
// seconds is killed and forked again, three times at most.
bool killedMidway(int delayUs, const std::function<void(const std::function<void()>& started)>& work);

// While it lives, no file of this process grows past `bytes`: a write that
// would is cut short and the next fails, as on a full disk (the signal the
// system sends for it is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long previous_ = 0;
    void (*previousHandler_)(int) = nullptr;
};

// Counts the paint events of the widget it is installed on.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace testsupport

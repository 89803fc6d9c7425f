#include "platform/core/MessageLog.h"

#include "platform/core/AppPaths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <mutex>

namespace messagelog {

namespace {

constexpr qint64 kLargestKept = 1 << 20;

struct State {
    std::mutex mutex;
    QFile file;
    bool echo = false;
    QtMessageHandler previous = nullptr;
};

State& state() {
    static State* s = new State;  // lives as long as the program: messages may come at exit
    return *s;
}

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    State& s = state();
    const QByteArray text = message.toUtf8();
    const char* category = context.category && *context.category ? context.category : "default";
    {
        std::lock_guard lock(s.mutex);
        if (s.file.isOpen()) {
            const QByteArray line =
                QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' +
                levelName(type) + ' ' + category + ": " + text + '\n';
            s.file.write(line);
            s.file.flush();
        }
        if (reachesTerminal(type, s.echo) || !s.file.isOpen())
            std::fprintf(stderr, "trevalune: %s\n", text.constData());
    }
    if (type == QtFatalMsg) std::abort();
}

}  // namespace

int severity(QtMsgType type) {
    switch (type) {
    case QtDebugMsg: return 0;
    case QtInfoMsg: return 1;
    case QtWarningMsg: return 2;
    case QtCriticalMsg: return 3;
    case QtFatalMsg: return 4;
    }
    return 0;
}

bool reachesTerminal(QtMsgType type, bool echoEverything) {
    return echoEverything || severity(type) >= severity(QtCriticalMsg);
}

QString defaultPath() { return apppaths::dataFolder() + QStringLiteral("/trevalune.log"); }

QString currentPath() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

void install(const QString& path, bool echoEverything) {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (s.file.isOpen()) s.file.close();
        const QFileInfo info(path);
        if (info.exists() && info.size() > kLargestKept) {
            QFile::remove(path + QStringLiteral(".1"));
            QFile::rename(path, path + QStringLiteral(".1"));
        }
        s.file.setFileName(path);
        s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        s.echo = echoEverything;
    }
    QtMessageHandler previous = qInstallMessageHandler(handler);
    if (previous != handler) s.previous = previous;
}

void uninstall() {
    State& s = state();
    qInstallMessageHandler(s.previous);
    std::lock_guard lock(s.mutex);
    if (s.file.isOpen()) s.file.close();
}

}  // namespace messagelog

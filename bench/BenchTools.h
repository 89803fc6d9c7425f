#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

namespace benchtools {

// Runs ffmpeg quietly with `args`; true when it finished with status 0.
// `seconds`, when given, receives its wall-clock time.
inline bool ffmpeg(const QStringList& args, double* seconds = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(-1)) return false;
    if (seconds) *seconds = t.nsecsElapsed() / 1e9;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace benchtools

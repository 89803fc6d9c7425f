#include "Fixtures.h"

#include "support/Signals.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <algorithm>

namespace fixtures {

bool run(const QString& program, const QStringList& arguments, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000)) return false;
    p.closeWriteChannel();
    p.waitForFinished(300000);
    const QString text = QString::fromLocal8Bit(p.readAll());
    if (output) *output = text;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), qPrintable(text));
        return false;
    }
    return true;
}

bool ffmpeg(const QStringList& arguments) {
    return run(QStringLiteral("ffmpeg"),
               QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                           QStringLiteral("-y")} + arguments);
}

QString sourceWav(const QString& dir, double seconds, int rate) {
    const QString path = dir + QStringLiteral("/source-%1-%2.wav").arg(rate).arg(seconds);
    if (QFile::exists(path)) return path;
    const QString expr = QStringLiteral("0.5*sin(2*PI*440*t)|0.25*sin(2*PI*660*t)");
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("aevalsrc=%1:s=%2:d=%3").arg(expr).arg(rate).arg(seconds),
                 QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path}))
        return {};
    return path;
}

QString convert(const QString& source, const QString& dir, const QString& name, const QStringList& options) {
    const QString path = dir + QLatin1Char('/') + name;
    if (!ffmpeg(QStringList{QStringLiteral("-i"), source} + options + QStringList{path})) return {};
    return path;
}

QString movie(const QString& dir, const QString& name, double seconds) {
    const QString path = dir + QLatin1Char('/') + name;
    const QString expr = QStringLiteral("0.5*sin(2*PI*440*t)|0.25*sin(2*PI*660*t)");
    if (!ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("testsrc=size=320x240:rate=25:duration=%1").arg(seconds),
                 QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("aevalsrc=%1:s=44100:d=%2").arg(expr).arg(seconds),
                 QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-q:v"), QStringLiteral("5"),
                 QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-shortest"), path}))
        return {};
    return path;
}

QString picture(const QString& dir, int w, int h) {
    const QString path = dir + QStringLiteral("/picture-%1x%2.jpg").arg(w).arg(h);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixelColor(x, y, QColor(x * 255 / w, y * 255 / h, 128));
    img.save(path, "JPEG", 95);
    return path;
}

double toneAmplitude(const float* s, long n, double rate, double f) {
    return testsupport::amplitudeAt(s, size_t(std::max(n, 0L)), f, rate);
}

}  // namespace fixtures

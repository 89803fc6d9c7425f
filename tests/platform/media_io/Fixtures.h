#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Media files made for the tests with the command-line tools.
namespace fixtures {

// Runs a tool (ffmpeg, sox, ...) and returns whether it succeeded.
bool run(const QString& program, const QStringList& arguments, QString* output = nullptr);
// ffmpeg -v error -y <arguments>
bool ffmpeg(const QStringList& arguments);

// A 16-bit stereo WAV of `seconds` at `rate`: 440 Hz at half scale on the
// left, 660 Hz at quarter scale on the right.
QString sourceWav(const QString& dir, double seconds = 1.5, int rate = 44100);
// The source converted by ffmpeg to `extension` with extra output options.
QString convert(const QString& source, const QString& dir, const QString& name,
                const QStringList& options = {});
// A short movie: test pattern video (320 x 240, 25 fps) and the tone as AAC.
QString movie(const QString& dir, const QString& name, double seconds = 2.0);
// A JPEG picture of w x h.
QString picture(const QString& dir, int w = 64, int h = 48);

// testsupport::amplitudeAt, kept under the name older tests use.
double toneAmplitude(const float* samples, long count, double rate, double frequency);

}  // namespace fixtures

#include "views/ImageBlur.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// One box blur of an image of `channels` interleaved byte channels per
// pixel, horizontally then vertically, on the raw buffer. A window reaching
// past an edge counts what lies beyond as 0, and every sum is divided by the
// whole window: the edges fade as the glow spreads past them.
template <int channels>
void boxBlurPasses(uchar* bits, qsizetype stride, int w, int h, int radius) {
    const int count = 2 * radius + 1;
    // sum / count for every sum a window can hold: no division per pixel.
    std::vector<uint8_t> divide(size_t(255 * count + 1));
    for (size_t s = 0; s < divide.size(); ++s) divide[s] = uint8_t(s / size_t(count));
    const uint8_t* quotient = divide.data();

    std::vector<uint8_t> line(size_t(w) * channels);
    auto horizontal = [&] {
        for (int y = 0; y < h; ++y) {
            uint8_t* row = bits + y * stride;
            std::memcpy(line.data(), row, line.size());
            int sum[channels] = {};
            for (int i = 0; i <= std::min(radius, w - 1); ++i)
                for (int c = 0; c < channels; ++c) sum[c] += line[size_t(i) * channels + c];
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < channels; ++c) row[x * channels + c] = quotient[sum[c]];
                if (const int out = x - radius; out >= 0)
                    for (int c = 0; c < channels; ++c) sum[c] -= line[size_t(out) * channels + c];
                if (const int in = x + radius + 1; in < w)
                    for (int c = 0; c < channels; ++c) sum[c] += line[size_t(in) * channels + c];
            }
        }
    };

    // Down the columns, a row at a time: one running sum per byte of a row,
    // and the rows the window leaves read from a copy of the pass's input.
    const size_t rowBytes = size_t(w) * channels;
    std::vector<uint8_t> source(rowBytes * size_t(h));
    std::vector<int> sums(rowBytes);
    auto vertical = [&] {
        for (int y = 0; y < h; ++y) std::memcpy(source.data() + rowBytes * size_t(y), bits + y * stride, rowBytes);
        std::fill(sums.begin(), sums.end(), 0);
        for (int i = 0; i <= std::min(radius, h - 1); ++i) {
            const uint8_t* in = source.data() + rowBytes * size_t(i);
            for (size_t b = 0; b < rowBytes; ++b) sums[b] += in[b];
        }
        for (int y = 0; y < h; ++y) {
            uint8_t* row = bits + y * stride;
            for (size_t b = 0; b < rowBytes; ++b) row[b] = quotient[sums[b]];
            if (const int out = y - radius; out >= 0) {
                const uint8_t* gone = source.data() + rowBytes * size_t(out);
                for (size_t b = 0; b < rowBytes; ++b) sums[b] -= gone[b];
            }
            if (const int next = y + radius + 1; next < h) {
                const uint8_t* in = source.data() + rowBytes * size_t(next);
                for (size_t b = 0; b < rowBytes; ++b) sums[b] += in[b];
            }
        }
    };

    for (int k = 0; k < 3; ++k) {
        horizontal();
        vertical();
    }
}

}  // namespace

void boxBlur(QImage& image, int radius) {
    if (image.isNull() || radius <= 0) return;
    const int w = image.width(), h = image.height();
    // bits() makes the image its own once; the passes then work on the
    // buffer directly.
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    switch (image.depth()) {
    case 32: boxBlurPasses<4>(bits, stride, w, h, radius); break;
    case 8: boxBlurPasses<1>(bits, stride, w, h, radius); break;
    default: {
        QImage wide = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        boxBlurPasses<4>(wide.bits(), wide.bytesPerLine(), w, h, radius);
        image = wide.convertToFormat(image.format());
        break;
    }
    }
}

QImage shadowOf(const QImage& picture, QPoint offset, int radius, const QColor& colour) {
    const QImage source = picture.format() == QImage::Format_ARGB32_Premultiplied
                              ? picture
                              : picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = source.width(), h = source.height(), dx = offset.x(), dy = offset.y();
    QImage coverage(w, h, QImage::Format_Alpha8);
    coverage.fill(0);
    for (int y = std::max(0, dy); y < std::min(h, h + dy); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y - dy));
        uchar* out = coverage.scanLine(y);
        for (int x = std::max(0, dx); x < std::min(w, w + dx); ++x) out[x] = uchar(qAlpha(in[x - dx]));
    }
    boxBlur(coverage, radius);

    // The colour at 16 bits a channel, so that a dark grey keeps its shade.
    const QRgba64 tint = colour.rgba64();
    auto scaled = [](unsigned value, unsigned by16) { return int((value * by16 + 32767u) / 65535u); };
    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(picture.devicePixelRatio());
    for (int y = 0; y < h; ++y) {
        const uchar* in = coverage.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned a = unsigned(scaled(in[x], tint.alpha()));
            out[x] = qRgba(scaled(a, tint.red()), scaled(a, tint.green()), scaled(a, tint.blue()), int(a));
        }
    }
    return shadow;
}

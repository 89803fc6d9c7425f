// The box blur against a plain reference: every channel, every edge, the
// buffer's own row padding left alone.
#include "views/ImageBlur.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// The blur as it reads: for each channel of each pixel, the mean of the
// 2r + 1 pixels around it along the line (those past an edge count as 0),
// rows first, then columns, three times over, in integers truncated.
std::vector<int> referenceBlur(std::vector<int> v, int w, int h, int channels, int r) {
    auto at = [&](const std::vector<int>& a, int x, int y, int c) {
        return x < 0 || y < 0 || x >= w || y >= h ? 0 : a[size_t((y * w + x) * channels + c)];
    };
    for (int k = 0; k < 3; ++k) {
        for (bool rows : {true, false}) {
            std::vector<int> out(v.size());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < channels; ++c) {
                        int sum = 0;
                        for (int d = -r; d <= r; ++d) sum += rows ? at(v, x + d, y, c) : at(v, x, y + d, c);
                        out[size_t((y * w + x) * channels + c)] = sum / (2 * r + 1);
                    }
            v = std::move(out);
        }
    }
    return v;
}

TEST(ImageBlur, MatchesAPlainBlurOnEveryChannelAndEdge) {
    struct Case {
        const char* name;
        QImage::Format format;
        int channels, w, h, radius;
    } cases[] = {
        {"32-bit, odd width", QImage::Format_ARGB32_Premultiplied, 4, 13, 9, 2},
        {"32-bit, radius wider than the image", QImage::Format_ARGB32, 4, 5, 4, 3},
        {"8-bit coverage, rows padded to 4 bytes", QImage::Format_Alpha8, 1, 7, 11, 1},
        {"8-bit, one row", QImage::Format_Grayscale8, 1, 9, 1, 2},
    };
    std::mt19937 random(7);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        QImage image(k.w, k.h, k.format);
        const int rowBytes = k.w * k.channels;
        // Fill the padding too: the blur must leave it as it was.
        std::fill(image.bits(), image.bits() + image.sizeInBytes(), uchar(0xA5));
        std::vector<int> values(size_t(rowBytes * k.h));
        for (int y = 0; y < k.h; ++y)
            for (int b = 0; b < rowBytes; ++b) {
                // Premultiplied pixels keep colour at or under alpha; the
                // blur does not care, so any bytes will do.
                const int v = int(random() % 256);
                values[size_t(y * rowBytes + b)] = v;
                image.scanLine(y)[b] = uchar(v);
            }
        const std::vector<int> expected = referenceBlur(values, k.w, k.h, k.channels, k.radius);
        boxBlur(image, k.radius);
        ASSERT_EQ(image.format(), k.format);
        int wrong = 0;
        for (int y = 0; y < k.h; ++y) {
            for (int b = 0; b < rowBytes; ++b)
                if (image.constScanLine(y)[b] != expected[size_t(y * rowBytes + b)]) ++wrong;
            for (qsizetype b = rowBytes; b < image.bytesPerLine(); ++b)
                EXPECT_EQ(image.constScanLine(y)[b], 0xA5) << "padding of row " << y;
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(ImageBlur, ASharedImageIsLeftAloneAndZeroRadiusChangesNothing) {
    QImage image(6, 6, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setPixel(3, 3, qRgba(255, 255, 255, 255));
    const QImage shared = image;
    boxBlur(image, 1);
    EXPECT_EQ(shared.pixel(3, 3), qRgba(255, 255, 255, 255)) << "the copy keeps its pixels";
    EXPECT_NE(image.pixel(3, 3), shared.pixel(3, 3));
    EXPECT_GT(qAlpha(image.pixel(2, 3)), 0) << "the light spreads";

    QImage unchanged = shared.copy();
    boxBlur(unchanged, 0);
    EXPECT_EQ(unchanged, shared);
}

// A shadow: the picture's coverage moved by the offset (what leaves the
// picture is dropped), blurred, in the colour scaled by its alpha; the
// colours of the picture play no part.
TEST(ImageBlur, AShadowIsTheMovedBlurredCoverageInItsColour) {
    const int w = 12, h = 9, radius = 1;
    struct Case {
        const char* name;
        QPoint offset;
        QColor colour;
    } cases[] = {
        {"in place, black", QPoint(0, 0), Qt::black},
        {"down and left, a dark grey", QPoint(-3, 2), QColor::fromRgbF(0.095f, 0.095f, 0.095f)},
        {"past the right edge, half-transparent red", QPoint(10, -1), QColor(255, 0, 0, 128)},
    };
    std::mt19937 random(11);
    QImage picture(w, h, QImage::Format_ARGB32);
    std::vector<int> alpha(size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            alpha[size_t(y * w + x)] = int(random() % 256);
            picture.setPixel(x, y, qRgba(int(random() % 256), 0, 0, alpha[size_t(y * w + x)]));
        }
    picture.setDevicePixelRatio(2.0);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<int> moved(alpha.size(), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int fromX = x - k.offset.x(), fromY = y - k.offset.y();
                if (fromX >= 0 && fromX < w && fromY >= 0 && fromY < h)
                    moved[size_t(y * w + x)] = alpha[size_t(fromY * w + fromX)];
            }
        const std::vector<int> coverage = referenceBlur(moved, w, h, 1, radius);
        const QImage shadow = shadowOf(picture, k.offset, radius, k.colour);
        ASSERT_EQ(shadow.size(), picture.size());
        EXPECT_EQ(shadow.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shadow.devicePixelRatio(), 2.0);
        const QRgba64 c = k.colour.rgba64();
        auto scaled = [](int v, int by16) { return int((unsigned(v) * unsigned(by16) + 32767u) / 65535u); };
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int a = scaled(coverage[size_t(y * w + x)], c.alpha());
                const QRgb expected = qRgba(scaled(a, c.red()), scaled(a, c.green()), scaled(a, c.blue()), a);
                if (reinterpret_cast<const QRgb*>(shadow.constScanLine(y))[x] != expected) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace

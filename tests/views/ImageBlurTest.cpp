// The box blur against a plain reference: every channel, every edge, the
// buffer's own row padding left alone.
#include "views/ImageBlur.h"

#include <gtest/gtest.h>

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

}  // namespace

#include "views/ImageBlur.h"

#include <algorithm>
#include <cstdint>
#include <vector>

void boxBlur(QImage& image, int radius) {
    const int w = image.width(), h = image.height();
    std::vector<uint32_t> line(size_t(std::max(w, h)));
    auto pass = [&](bool horizontal) {
        const int n = horizontal ? w : h, lines = horizontal ? h : w;
        for (int l = 0; l < lines; ++l) {
            auto px = [&](int i) -> QRgb& {
                return horizontal ? reinterpret_cast<QRgb*>(image.scanLine(l))[i]
                                  : reinterpret_cast<QRgb*>(image.scanLine(i))[l];
            };
            for (int i = 0; i < n; ++i) line[size_t(i)] = px(i);
            int sum[4] = {0, 0, 0, 0};
            auto add = [&](int i, int sign) {
                if (i < 0 || i >= n) return;
                const uint32_t p = line[size_t(i)];
                for (int c = 0; c < 4; ++c) sum[c] += sign * int((p >> (8 * c)) & 0xff);
            };
            for (int i = -radius; i <= radius; ++i) add(i, 1);
            const int count = 2 * radius + 1;
            for (int i = 0; i < n; ++i) {
                uint32_t out = 0;
                for (int c = 0; c < 4; ++c) out |= uint32_t(sum[c] / count) << (8 * c);
                px(i) = out;
                add(i - radius, -1);
                add(i + radius + 1, 1);
            }
        }
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
}

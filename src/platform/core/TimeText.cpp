#include "platform/core/TimeText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {
QString format(double seconds, bool hundredths) {
    if (!(seconds > 0) || std::isinf(seconds)) seconds = 0;  // NaN, negative, infinite
    // Hundredths are truncated, as a clock shows them; a tiny epsilon keeps
    // 0.29 from reading as 0.28 through binary rounding.
    int64_t total = static_cast<int64_t>(std::floor(seconds * 100.0 + 1e-7));
    int64_t h = total / 360000, m = (total / 6000) % 60, s = (total / 100) % 60, c = total % 100;
    char buf[48];
    if (hundredths)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld:%02lld", (long long)h, (long long)m,
                      (long long)s, (long long)c);
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", (long long)h, (long long)m,
                      (long long)s);
    return QString::fromLatin1(buf);
}
}  // namespace

QString timeText(double seconds) { return format(seconds, false); }
QString timeTextWithHundredths(double seconds) { return format(seconds, true); }

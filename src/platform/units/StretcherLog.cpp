#include "platform/units/StretcherLog.h"

#include "platform/core/BoundedQueue.h"
#include "platform/core/Realtime.h"

#include <QLoggingCategory>

#include <cstring>

namespace units {
namespace {

Q_LOGGING_CATEGORY(lcStretcher, "trevalune.rubberband")

struct Message {
    char text[120];
    double values[2];
    int count;  // how many of the values belong to the message
};

void write(const Message& m) {
    QString line = QString::fromUtf8(m.text);
    for (int i = 0; i < m.count; ++i) line += (i == 0 ? QStringLiteral(": ") : QStringLiteral(", ")) + QString::number(m.values[i]);
    qCWarning(lcStretcher, "%s", qUtf8Printable(line));
}

class Logger final : public RubberBand::RubberBandStretcher::Logger {
public:
    void log(const char* text) override { take(text, 0, 0, 0); }
    void log(const char* text, double a) override { take(text, 1, a, 0); }
    void log(const char* text, double a, double b) override { take(text, 2, a, b); }

    void flush() {
        queued_.drain([](const Message& m) { write(m); });
    }

private:
    void take(const char* text, int count, double a, double b) {
        Message m;
        std::strncpy(m.text, text ? text : "", sizeof m.text - 1);
        m.text[sizeof m.text - 1] = '\0';
        m.values[0] = a;
        m.values[1] = b;
        m.count = count;
        if (realtime::inRealtimeScope()) {
            queued_.push(m);  // a full queue drops it: the render goes on
            return;
        }
        flush();
        write(m);
    }

    realtime::BoundedQueue<Message> queued_{64};
};

Logger& logger() {
    static Logger* const instance = new Logger;  // lives as long as the process: stretchers may outlive statics
    return *instance;
}

}  // namespace

std::shared_ptr<RubberBand::RubberBandStretcher::Logger> stretcherLogger() {
    Logger& l = logger();
    l.flush();
    // Shared without ownership: the logger is never freed.
    return std::shared_ptr<RubberBand::RubberBandStretcher::Logger>(&l, [](auto*) {});
}

void flushStretcherLog() { logger().flush(); }

}  // namespace units

#include "platform/core/Archive.h"
#include "platform/core/TimeText.h"

#include <gtest/gtest.h>

namespace {

TEST(Archive, EveryKindRoundTripsDistinctly) {
    QCborMap m;
    m[QStringLiteral("flag")] = true;
    m[QStringLiteral("signed")] = qint64(-42);
    m[QStringLiteral("unsigned")] = archive::unsignedValue(42);
    m[QStringLiteral("bigUnsigned")] = archive::unsignedValue(0xFFFFFFFFFFFFFFF0ull);
    m[QStringLiteral("double")] = 1.0;  // a whole double stays a double
    m[QStringLiteral("string")] = QStringLiteral("Grüße");
    m[QStringLiteral("bytes")] = QByteArray("\x00\x01\xff", 3);
    m[QStringLiteral("array")] = QCborArray{1, 2.5, "x"};
    m[QStringLiteral("map")] = QCborMap{{"inner", false}};

    QString error;
    auto decoded = archive::decode(archive::encode(m), &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    archive::MapReader r(decoded->toMap(), "test");
    EXPECT_EQ(r.boolean("flag"), true);
    EXPECT_EQ(r.integer("signed"), -42);
    EXPECT_EQ(r.unsignedInteger("unsigned"), 42u);
    EXPECT_EQ(r.unsignedInteger("bigUnsigned"), 0xFFFFFFFFFFFFFFF0ull);
    EXPECT_EQ(r.real("double"), 1.0);
    EXPECT_EQ(r.string("string"), QStringLiteral("Grüße"));
    EXPECT_EQ(r.bytes("bytes"), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(r.array("array").size(), 3);
    EXPECT_TRUE(r.array("array").at(1).isDouble());
    EXPECT_FALSE(r.map("map").value("inner").toBool(true));
    EXPECT_EQ(r.real("missing", 0.5), 0.5);
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
}

TEST(Archive, WrongKindsAreRefusedWithTheFieldNamed) {
    QCborMap m{{"count", 1.5}, {"name", 3}, {"negative", -1}};
    struct Case {
        const char* key;
        std::function<void(archive::MapReader&)> read;
    };
    const Case cases[] = {
        {"count", [](archive::MapReader& r) { r.integer("count"); }},
        {"name", [](archive::MapReader& r) { r.string("name"); }},
        {"negative", [](archive::MapReader& r) { r.unsignedInteger("negative"); }},
        {"absent", [](archive::MapReader& r) { r.real("absent"); }},
        {"name", [](archive::MapReader& r) { r.real("name", 1.0); }},  // default only covers absence
    };
    for (const auto& c : cases) {
        archive::MapReader r(m, "projectData");
        c.read(r);
        EXPECT_FALSE(r.ok()) << c.key;
        EXPECT_TRUE(r.error().contains(c.key)) << r.error().toStdString();
        EXPECT_TRUE(r.error().startsWith("projectData")) << r.error().toStdString();
    }
}

TEST(Archive, MalformedDocumentsAreRefused) {
    QByteArray good = archive::encode(QCborMap{{"a", 1}});
    const QByteArray cases[] = {
        QByteArray(),
        good.left(good.size() - 1),      // truncated
        good + QByteArray("\x01", 1),    // trailing data
        QByteArray("plain text file"),
        QByteArray("\xff\xff\xff", 3),
    };
    for (const auto& bytes : cases) {
        QString error;
        EXPECT_FALSE(archive::decode(bytes, &error)) << bytes.toHex().toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(TimeText, IsArithmeticAndNeverWrapsOrGoesNegative) {
    struct Case {
        double seconds;
        const char* plain;
        const char* hundredths;
    };
    const Case cases[] = {
        {0, "00:00:00", "00:00:00:00"},
        {3725.5, "01:02:05", "01:02:05:50"},
        {90000, "25:00:00", "25:00:00:00"},
        {-5, "00:00:00", "00:00:00:00"},
        {59.999, "00:00:59", "00:00:59:99"},
        {0.29, "00:00:00", "00:00:00:29"},
        {NAN, "00:00:00", "00:00:00:00"},
        {360000 * 2 + 1, "200:00:01", "200:00:01:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timeText(c.seconds).toStdString(), c.plain) << c.seconds;
        EXPECT_EQ(timeTextWithHundredths(c.seconds).toStdString(), c.hundredths) << c.seconds;
    }
}

}  // namespace

#include "platform/core/Archive.h"

#include <QCborStreamReader>

#include <limits>

namespace archive {

QByteArray encode(const QCborValue& value) { return value.toCbor(); }

std::optional<QCborValue> decode(const QByteArray& bytes, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<QCborValue> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (bytes.isEmpty()) return fail(QStringLiteral("The document is empty."));
    QCborStreamReader reader(bytes);
    QCborValue value = QCborValue::fromCbor(reader);
    if (reader.lastError() != QCborError::NoError)
        return fail(QStringLiteral("The document is damaged: %1.").arg(reader.lastError().toString()));
    if (reader.currentOffset() != bytes.size())
        return fail(QStringLiteral("The document has unexpected data after its end."));
    if (value.isInvalid() || value.isUndefined())
        return fail(QStringLiteral("The document holds no value."));
    return value;
}

QCborValue unsignedValue(quint64 v) {
    if (v <= static_cast<quint64>(std::numeric_limits<qint64>::max()))
        return QCborValue(static_cast<qint64>(v));
    QByteArray big(8, '\0');
    for (int i = 0; i < 8; ++i) big[7 - i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return QCborValue(QCborKnownTags::PositiveBignum, big);
}

std::optional<quint64> toUnsigned(const QCborValue& v) {
    if (v.isInteger()) {
        if (v.toInteger() < 0) return std::nullopt;
        return static_cast<quint64>(v.toInteger());
    }
    if (v.isTag() && v.tag() == QCborTag(QCborKnownTags::PositiveBignum) &&
        v.taggedValue().isByteArray()) {
        QByteArray b = v.taggedValue().toByteArray();
        if (b.size() > 8) return std::nullopt;
        quint64 r = 0;
        for (char c : b) r = (r << 8) | static_cast<quint8>(c);
        return r;
    }
    return std::nullopt;
}

QString kindName(const QCborValue& v) {
    switch (v.type()) {
    case QCborValue::Integer: return v.toInteger() < 0 ? "a negative integer" : "an integer";
    case QCborValue::ByteArray: return "bytes";
    case QCborValue::String: return "a string";
    case QCborValue::Array: return "an array";
    case QCborValue::Map: return "a map";
    case QCborValue::False:
    case QCborValue::True: return "a boolean";
    case QCborValue::Null: return "null";
    case QCborValue::Undefined: return "nothing";
    case QCborValue::Double: return "a double";
    default: return toUnsigned(v) ? "an integer" : "an unknown value";
    }
}

MapReader::MapReader(const QCborMap& map, const QString& where) : map_(map), where_(where) {}

void MapReader::fail(const QString& message) {
    if (!error_.isEmpty()) return;
    error_ = where_.isEmpty() ? message : QStringLiteral("%1: %2").arg(where_, message);
}

bool MapReader::fetch(const QString& key, QCborValue::Type wanted, const char* kind,
                      QCborValue* out, bool optional) {
    if (!ok()) return false;
    if (!map_.contains(key)) {
        if (!optional) fail(QStringLiteral("the field \"%1\" is missing.").arg(key));
        return false;
    }
    QCborValue v = map_.value(key);
    bool fits = v.type() == wanted ||
                (wanted == QCborValue::True && v.type() == QCborValue::False);
    if (!fits) {
        fail(QStringLiteral("the field \"%1\" should be %2, not %3.")
                 .arg(key, QString::fromLatin1(kind), kindName(v)));
        return false;
    }
    *out = v;
    return true;
}

bool MapReader::boolean(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::True, "a boolean", &v, false) && v.toBool();
}
bool MapReader::boolean(const QString& key, bool fallback) {
    QCborValue v;
    return fetch(key, QCborValue::True, "a boolean", &v, true) ? v.toBool()
                                                               : (ok() ? fallback : false);
}

qint64 MapReader::integer(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::Integer, "an integer", &v, false) ? v.toInteger() : 0;
}
qint64 MapReader::integer(const QString& key, qint64 fallback) {
    QCborValue v;
    return fetch(key, QCborValue::Integer, "an integer", &v, true) ? v.toInteger()
                                                                   : (ok() ? fallback : 0);
}

quint64 MapReader::unsignedInteger(const QString& key) {
    if (!ok()) return 0;
    if (!map_.contains(key)) {
        fail(QStringLiteral("the field \"%1\" is missing.").arg(key));
        return 0;
    }
    return unsignedInteger(key, 0);
}
quint64 MapReader::unsignedInteger(const QString& key, quint64 fallback) {
    if (!ok()) return 0;
    if (!map_.contains(key)) return fallback;
    QCborValue v = map_.value(key);
    if (auto u = toUnsigned(v)) return *u;
    fail(QStringLiteral("the field \"%1\" should be an unsigned integer, not %2.")
             .arg(key, kindName(v)));
    return 0;
}

double MapReader::real(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::Double, "a double", &v, false) ? v.toDouble() : 0.0;
}
double MapReader::real(const QString& key, double fallback) {
    QCborValue v;
    return fetch(key, QCborValue::Double, "a double", &v, true) ? v.toDouble()
                                                                : (ok() ? fallback : 0.0);
}

QString MapReader::string(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::String, "a string", &v, false) ? v.toString() : QString();
}
QString MapReader::string(const QString& key, const QString& fallback) {
    QCborValue v;
    return fetch(key, QCborValue::String, "a string", &v, true) ? v.toString()
                                                                : (ok() ? fallback : QString());
}

QByteArray MapReader::bytes(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::ByteArray, "bytes", &v, false) ? v.toByteArray() : QByteArray();
}

QCborArray MapReader::array(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::Array, "an array", &v, false) ? v.toArray() : QCborArray();
}

QCborMap MapReader::map(const QString& key) {
    QCborValue v;
    return fetch(key, QCborValue::Map, "a map", &v, false) ? v.toMap() : QCborMap();
}

}  // namespace archive

#pragma once

#include <QByteArray>
#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QString>

#include <optional>

// Helpers for the CBOR documents the application stores (projects, presets,
// clipboard data). Values keep their kinds apart: booleans, signed and
// unsigned integers, doubles, strings, byte strings, arrays and maps. Readers
// refuse a value of the wrong kind with a message that names the field.
namespace archive {

QByteArray encode(const QCborValue& value);
// The document's root value, or nothing with `error` set when the bytes are
// not one complete, well-formed CBOR item.
std::optional<QCborValue> decode(const QByteArray& bytes, QString* error);

// Unsigned integers are stored as plain non-negative integers when they fit
// in 63 bits and as an unsigned bignum otherwise.
QCborValue unsignedValue(quint64 v);

// Reads typed fields out of a map. The first field that is missing (unless
// read with a default) or of the wrong kind sets the error; later reads then
// return defaults, so a loader can read everything and check ok() once.
class MapReader {
public:
    explicit MapReader(const QCborMap& map, const QString& where = QString());

    bool ok() const { return error_.isEmpty(); }
    const QString& error() const { return error_; }
    bool contains(const QString& key) const { return map_.contains(key); }
    const QCborMap& map() const { return map_; }

    bool boolean(const QString& key);
    qint64 integer(const QString& key);
    quint64 unsignedInteger(const QString& key);
    double real(const QString& key);
    QString string(const QString& key);
    QByteArray bytes(const QString& key);
    QCborArray array(const QString& key);
    QCborMap map(const QString& key);

    // The same, with a default when the key is absent (a present value of the
    // wrong kind is still an error).
    bool boolean(const QString& key, bool fallback);
    qint64 integer(const QString& key, qint64 fallback);
    quint64 unsignedInteger(const QString& key, quint64 fallback);
    double real(const QString& key, double fallback);
    QString string(const QString& key, const QString& fallback);

    // Records a failure found by the caller (a value out of range, say).
    void fail(const QString& message);

private:
    bool fetch(const QString& key, QCborValue::Type wanted, const char* kind, QCborValue* out,
               bool optional);
    QCborMap map_;
    QString where_;
    QString error_;
};

// The kind of a value as a user would read it: "a string", "a double", ...
QString kindName(const QCborValue& v);

// An unsigned integer out of a value, if it is one.
std::optional<quint64> toUnsigned(const QCborValue& v);

}  // namespace archive

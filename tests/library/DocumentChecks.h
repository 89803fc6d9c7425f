#pragma once

// What must hold for any bytes handed to the project and preset readers,
// and the mutations that make such bytes from a valid document. Shared by
// the seeded fuzz test of the test suite and by the libFuzzer programs.
//
// A reader either refuses the bytes with a message, or gives records that
// hold only numbers and write themselves back into a document the reader
// takes again unchanged (what was brought into range stays there).

#include "library/ProjectRecords.h"
#include "platform/core/Archive.h"

#include <QCborArray>
#include <QCborMap>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <variant>
#include <vector>

namespace documentchecks {

// Every double anywhere in the value, byte strings that hold a document
// (a track's settings) included, is a number.
inline bool allFinite(const QCborValue& v, int depth = 0) {
    if (depth > 64) return true;
    if (v.isDouble()) return std::isfinite(v.toDouble());
    if (v.isArray()) {
        for (const QCborValue& e : v.toArray())
            if (!allFinite(e, depth + 1)) return false;
    } else if (v.isMap()) {
        const QCborMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it)
            if (!allFinite(it.value(), depth + 1)) return false;
    } else if (v.isByteArray()) {
        const QByteArray b = v.toByteArray();
        const uint8_t first = b.isEmpty() ? 0 : uint8_t(b[0]);
        if (first >= 0x80 && first < 0xc0) {  // an array or a map
            QString ignored;
            if (auto inner = archive::decode(b, &ignored)) return allFinite(*inner, depth + 1);
        }
    }
    return true;
}

// The value with every map's keys in one order, documents held in byte
// strings included: records written twice may order optional fields
// differently.
inline QCborValue canonical(const QCborValue& v, int depth = 0) {
    if (depth > 64) return v;
    if (v.isArray()) {
        QCborArray out;
        for (const QCborValue& e : v.toArray()) out.append(canonical(e, depth + 1));
        return out;
    }
    if (v.isMap()) {
        const QCborMap m = v.toMap();
        const QList<QCborValue> listed = m.keys();
        std::vector<QCborValue> keys(listed.begin(), listed.end());
        std::sort(keys.begin(), keys.end(), [](const QCborValue& a, const QCborValue& b) { return a.compare(b) < 0; });
        QCborMap out;
        for (const QCborValue& k : keys) out.insert(k, canonical(m.value(k), depth + 1));
        return out;
    }
    if (v.isByteArray()) {
        const QByteArray b = v.toByteArray();
        const uint8_t first = b.isEmpty() ? 0 : uint8_t(b[0]);
        QString ignored;
        if (first >= 0x80 && first < 0xc0)
            if (auto inner = archive::decode(b, &ignored)) return archive::encode(canonical(*inner, depth + 1));
    }
    return v;
}

// Runs one reader over `bytes`; empty when the rules hold, else what broke.
template <typename Decode, typename Encode>
QString checkReader(const QByteArray& bytes, Decode decode, Encode encode) {
    QString error;
    const auto records = decode(bytes, &error);
    if (!records) return error.isEmpty() ? QStringLiteral("refused without a message") : QString();
    const QByteArray again = encode(*records);
    QString ignored;
    const auto tree = archive::decode(again, &ignored);
    if (!tree || !allFinite(*tree)) return QStringLiteral("took a value that is not a number");
    const auto second = decode(again, &error);
    if (!second) return QStringLiteral("refused what it had written: %1").arg(error);
    const auto third = archive::decode(encode(*second), &ignored);
    if (!third || canonical(*third) != canonical(*tree)) return QStringLiteral("read its own writing back differently");
    return {};
}

inline QString checkProjectReader(const QByteArray& bytes) {
    return checkReader(bytes, project::decodeProject, project::encodeProject);
}
inline QString checkPresetReader(const QByteArray& bytes) {
    return checkReader(bytes, project::decodePresetFile, project::encodePresetFile);
}

// Seeded mutations of a valid document: bit flips, truncations, kinds
// swapped, huge and non-finite numbers, deep nesting, long strings, paths
// that climb out with "..", and fields dropped or repeated. A mutation
// reaches into the documents held in byte strings too.
class Mutator {
public:
    explicit Mutator(uint32_t seed) : random_(seed) {}

    QByteArray mutate(const QByteArray& document) {
        QString ignored;
        const auto root = archive::decode(document, &ignored);
        const int kind = below(10);
        if (kind == 0 || !root) return flipBits(document);
        if (kind == 1) return document.left(below(int(document.size())));
        QCborValue tree = *root;
        const int count = 1 + below(3);
        for (int i = 0; i < count; ++i) tree = mutateTree(tree);
        QByteArray out = archive::encode(tree);
        if (below(8) == 0) out = flipBits(out);
        return out;
    }

private:
    using Step = std::variant<QCborValue, qsizetype>;
    using Path = std::vector<Step>;

    int below(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(random_); }

    QByteArray flipBits(QByteArray bytes) {
        if (bytes.isEmpty()) return bytes;
        for (int i = 1 + below(8); i > 0; --i) bytes[below(int(bytes.size()))] ^= char(1 << below(8));
        return bytes;
    }

    static bool holdsDocument(const QCborValue& v) {
        if (!v.isByteArray()) return false;
        const QByteArray b = v.toByteArray();
        return !b.isEmpty() && uint8_t(b[0]) >= 0x80 && uint8_t(b[0]) < 0xc0;
    }

    static void collect(const QCborValue& v, Path& path, std::vector<Path>& out, int depth) {
        out.push_back(path);
        if (depth > 40) return;
        QCborValue inner = v;
        if (holdsDocument(v)) {
            QString ignored;
            auto decoded = archive::decode(v.toByteArray(), &ignored);
            if (!decoded) return;
            inner = *decoded;
        }
        if (inner.isArray()) {
            const QCborArray a = inner.toArray();
            for (qsizetype i = 0; i < a.size(); ++i) {
                path.push_back(i);
                collect(a.at(i), path, out, depth + 1);
                path.pop_back();
            }
        } else if (inner.isMap()) {
            const QCborMap m = inner.toMap();
            for (auto it = m.begin(); it != m.end(); ++it) {
                path.push_back(it.key());
                collect(it.value(), path, out, depth + 1);
                path.pop_back();
            }
        }
    }

    // The value at `path` replaced by change(value); a path that no longer
    // leads anywhere changes nothing.
    static QCborValue changedAt(const QCborValue& v, const Path& path, size_t at,
                                const std::function<QCborValue(const QCborValue&)>& change) {
        if (at == path.size()) return change(v);
        if (holdsDocument(v)) {
            QString ignored;
            const auto inner = archive::decode(v.toByteArray(), &ignored);
            return inner ? QCborValue(archive::encode(changedAt(*inner, path, at, change))) : v;
        }
        if (const auto* key = std::get_if<QCborValue>(&path[at])) {
            if (!v.isMap() || !v.toMap().contains(*key)) return v;
            QCborMap m = v.toMap();
            m.insert(*key, changedAt(m.value(*key), path, at + 1, change));
            return m;
        }
        const qsizetype index = std::get<qsizetype>(path[at]);
        if (!v.isArray() || index >= v.toArray().size()) return v;
        QCborArray a = v.toArray();
        a[index] = changedAt(a.at(index), path, at + 1, change);
        return a;
    }

    QCborValue anyNumber() {
        static const double doubles[] = {std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         1e300, -1e300, 1e30, -1e30, 0.0, -0.0, -1.0, 1e-300, 2147483648.0,
                                         9.3e18, std::numeric_limits<double>::denorm_min()};
        static const qint64 integers[] = {0, -1, 1, 2, 9, 10, 127, 128, 255, 65536,
                                          std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(),
                                          4294967296LL};
        if (below(3) == 0) return integers[below(int(std::size(integers)))];
        return doubles[below(int(std::size(doubles)))];
    }

    QCborValue anyValue(const QCborValue& was) {
        switch (below(9)) {
        case 0: return QCborValue(QStringLiteral("2"));
        case 1: return anyNumber();
        case 2: return QCborValue(below(2) == 0);
        case 3: return QCborValue(QCborValue::Null);
        case 4: return QCborArray{was};
        case 5: {
            QCborMap m;
            m.insert(QStringLiteral("x"), was);
            return m;
        }
        case 6: return QCborValue(QByteArray("\xa1\x61x\xf9\x7e\x00", 6));  // {"x": NaN}
        case 7: return QCborValue(QCborValue::Undefined);
        default: return QCborValue(QCborSimpleType(below(20)));
        }
    }

    QCborValue nested(const QCborValue& inner) {
        static const int depths[] = {8, 100, 600, 1100, 3000};
        QCborValue v = inner;
        for (int d = depths[below(int(std::size(depths)))]; d > 0; --d) v = QCborArray{v};
        return v;
    }

    QCborValue longString() {
        switch (below(3)) {
        case 0: return QString(1 << 20, QLatin1Char('a'));
        case 1: return QStringLiteral("../").repeated(20000) + QStringLiteral("x.wav");
        default: return QString(5000, QChar(0x6f22));  // a CJK character
        }
    }

    QCborValue climbingPath() {
        static const char* paths[] = {"..", "../..", "/x/..", "../../etc/passwd", "a/../../b.wav",
                                      "/", ".", "", "./../1 - one.wav", "/old/../../1 - one.wav"};
        return QString::fromLatin1(paths[below(int(std::size(paths)))]);
    }

    QCborValue mutateTree(const QCborValue& tree) {
        std::vector<Path> paths;
        Path path;
        collect(tree, path, paths, 0);
        const Path& at = paths[size_t(below(int(paths.size())))];
        switch (below(8)) {
        case 0: return changedAt(tree, at, 0, [&](const QCborValue& v) { return anyValue(v); });
        case 1:
        case 2: {
            // Numbers are where the values lie: prefer a path to one.
            for (int tries = 0; tries < 20; ++tries) {
                const Path& p = paths[size_t(below(int(paths.size())))];
                bool numeric = false;
                changedAt(tree, p, 0, [&](const QCborValue& v) {
                    numeric = v.isDouble() || v.isInteger();
                    return v;
                });
                if (numeric) return changedAt(tree, p, 0, [&](const QCborValue&) { return anyNumber(); });
            }
            return tree;
        }
        case 3: return changedAt(tree, at, 0, [&](const QCborValue& v) { return nested(v); });
        case 4: return changedAt(tree, at, 0, [&](const QCborValue&) { return longString(); });
        case 5: return changedAt(tree, at, 0, [&](const QCborValue& v) { return v.isString() || below(2) ? climbingPath() : v; });
        case 6:
            // A field dropped, or an entry of a list twice.
            return changedAt(tree, at, 0, [&](const QCborValue& v) -> QCborValue {
                if (v.isMap() && !v.toMap().isEmpty()) {
                    QCborMap m = v.toMap();
                    m.remove(m.keys().at(below(int(m.size()))));
                    return m;
                }
                if (v.isArray() && !v.toArray().isEmpty()) {
                    QCborArray a = v.toArray();
                    a.append(a.at(below(int(a.size()))));
                    return a;
                }
                return v;
            });
        default:
            // An entry of a list gone.
            return changedAt(tree, at, 0, [&](const QCborValue& v) -> QCborValue {
                if (!v.isArray() || v.toArray().isEmpty()) return v;
                QCborArray a = v.toArray();
                a.removeAt(below(int(a.size())));
                return a;
            });
        }
    }

    std::mt19937 random_;
};

}  // namespace documentchecks

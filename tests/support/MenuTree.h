#pragma once

// A menu as text, one line per item, to compare whole menus at once:
// "-" for a separator, then the title as shown, " [x]" or " [ ]" for an item with a
// state, " (disabled)", and " = " with the item's data; a submenu's items
// follow, indented by two spaces. A submenu is opened first (aboutToShow),
// so that menus that fill themselves then are listed whole. In the data,
// the address of `track` reads "track", and a map lists its fields by name
// except addresses (its "audioUnit").

#include <QAction>
#include <QMenu>
#include <QStringList>
#include <QVariant>

namespace testsupport {

inline QString describeMenuData(const QVariant& v, quintptr track) {
    if (v.typeId() == QMetaType::fromType<quintptr>().id() && v.value<quintptr>() == track)
        return QStringLiteral("track");
    if (v.typeId() == QMetaType::QVariantList) {
        QStringList parts;
        for (const QVariant& e : v.toList()) parts << describeMenuData(e, track);
        return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
    }
    if (v.typeId() == QMetaType::QVariantMap) {
        QStringList parts;
        const QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it)
            if (it.key() != QLatin1String("audioUnit"))
                parts << it.key() + QLatin1String(": ") + describeMenuData(*it, track);
        return QLatin1Char('{') + parts.join(QLatin1String(", ")) + QLatin1Char('}');
    }
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.typeId() == QMetaType::Double) return QString::number(v.toDouble(), 'g', 6);
    return v.toString();
}

// A menu item's text as shown: "&&" is an ampersand, a lone "&" marks the
// shortcut letter and is not shown.
inline QString shownText(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) out += text[i];
        else if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) out += text[++i];
    }
    return out;
}

inline void appendMenuTree(QStringList& out, QMenu* menu, quintptr track, const QString& indent) {
    emit menu->aboutToShow();
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << indent + QLatin1Char('-');
            continue;
        }
        QString line = indent + shownText(a->text());
        if (a->isCheckable()) line += a->isChecked() ? QLatin1String(" [x]") : QLatin1String(" [ ]");
        if (!a->isEnabled()) line += QLatin1String(" (disabled)");
        if (a->data().isValid()) line += QLatin1String(" = ") + describeMenuData(a->data(), track);
        out << line;
        if (a->menu()) appendMenuTree(out, a->menu(), track, indent + QLatin1String("  "));
    }
}

inline QStringList menuTree(QMenu* menu, const void* track = nullptr) {
    QStringList out;
    if (menu) appendMenuTree(out, menu, quintptr(track), QString());
    return out;
}

// The lines of `tree` from the first that is `from` to the end, or to the
// line before the first `to` after it.
inline QStringList menuTreePart(const QStringList& tree, const QString& from, const QString& to = {}) {
    const qsizetype a = tree.indexOf(from);
    if (a < 0) return {};
    const qsizetype b = to.isEmpty() ? -1 : tree.indexOf(to, a + 1);
    return tree.mid(a, b < 0 ? -1 : b - a);
}

}  // namespace testsupport

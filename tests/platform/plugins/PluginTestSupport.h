#pragma once

#include <QDir>
#include <QFile>
#include <QString>

// Writes a small LV2 bundle into `folder`: a manifest naming one plug-in and
// its description, with one stereo audio path and one control port.
inline void writeTestBundle(const QString& folder, const QString& bundle, const QString& uri,
                            const QString& name, const QString& binary) {
    QDir().mkpath(folder + '/' + bundle);
    QFile manifest(folder + '/' + bundle + "/manifest.ttl");
    manifest.open(QIODevice::WriteOnly);
    manifest.write(QStringLiteral(
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "<%1> a lv2:Plugin ; lv2:binary <%2> ; rdfs:seeAlso <plugin.ttl> .\n").arg(uri, binary).toUtf8());
    QFile description(folder + '/' + bundle + "/plugin.ttl");
    description.open(QIODevice::WriteOnly);
    description.write(QStringLiteral(
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
        "<%1> a lv2:Plugin ; doap:name \"%2\" ;\n"
        "  lv2:port [ a lv2:InputPort, lv2:AudioPort ; lv2:index 0 ; lv2:symbol \"in\" ; lv2:name \"In\" ] ,\n"
        "           [ a lv2:OutputPort, lv2:AudioPort ; lv2:index 1 ; lv2:symbol \"out\" ; lv2:name \"Out\" ] ,\n"
        "           [ a lv2:InputPort, lv2:ControlPort ; lv2:index 2 ; lv2:symbol \"gain\" ; lv2:name \"Gain\" ;\n"
        "             lv2:default 0.5 ; lv2:minimum 0 ; lv2:maximum 1 ] .\n").arg(uri, name).toUtf8());
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// A shared object that loads on this machine, for bundles whose plug-ins are
// only scanned (or must fail to instantiate: it holds other plug-ins).
inline void copyRealLibrary(const QString& to) { QFile::copy("/usr/lib/lv2/mda.lv2/Delay.so", to); }

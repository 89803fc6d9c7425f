#pragma once

#include <QString>
#include <QStringList>

// The words after the program's name. Words that begin with a dash are
// options; the rest, and every word after "--", are files to open.
// Qt's own options (-platform NAME, -style NAME, ...) are let through for
// QApplication to take.
struct CommandLine {
    QStringList files;
    bool help = false;
    bool verbose = false;
    // Set when a word is not understood; the program says so and stops.
    QString error;

    static CommandLine parse(const QStringList& words);
    static QString usage();
};

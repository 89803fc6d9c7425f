#pragma once

#include <QString>
#include <QtGlobal>

// The application's own log. Every message of the process goes to one file
// in the data folder: Qt's, ours, and those of the libraries that are routed
// through Qt's message functions (FFmpeg, ALSA, JACK). Only what a user must
// know reaches the terminal: critical and fatal messages, or everything when
// `echoEverything` is set (the --verbose option).
//
// Messages may come from any thread but a render thread (the handler
// allocates and takes a lock); the file is written under that lock.
namespace messagelog {

// Installs the handler; a log larger than a megabyte is moved aside to
// "<path>.1" first, so two runs' worth at most are kept.
void install(const QString& path, bool echoEverything = false);
// Writes what is buffered and restores Qt's own handler.
void uninstall();
// <data folder>/trevalune.log
QString defaultPath();
// Where the messages go now; empty before install().
QString currentPath();

// How serious a message is, least first: debug, info, warning, critical, fatal.
int severity(QtMsgType type);
// Whether a message of this type reaches the terminal as well as the file.
bool reachesTerminal(QtMsgType type, bool echoEverything);

}  // namespace messagelog

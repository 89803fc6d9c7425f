#include "app/CommandLine.h"

namespace {

// Options that QApplication takes out of the command line itself; those
// listed with a value take the next word too.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"-platform", true},     {"-platformpluginpath", true}, {"-platformtheme", true},
    {"-plugin", true},       {"-style", true},              {"-stylesheet", true},
    {"-session", true},      {"-display", true},            {"-geometry", true},
    {"-qwindowgeometry", true}, {"-qwindowtitle", true},    {"-qwindowicon", true},
    {"-reverse", false},     {"-widgetcount", false},       {"-nograb", false},
    {"-dograb", false},      {"-sync", false},
};

const QtOption* qtOption(const QString& word) {
    // Qt accepts its options with one dash or two.
    const QString name = word.startsWith(QLatin1String("--")) ? word.mid(1) : word;
    for (const auto& option : kQtOptions)
        if (name == QLatin1String(option.name)) return &option;
    return nullptr;
}

}  // namespace

CommandLine CommandLine::parse(const QStringList& words) {
    CommandLine line;
    bool options = true;
    for (int i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (!options || !word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
            line.files << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            options = false;
        } else if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            line.help = true;
        } else if (word == QLatin1String("-v") || word == QLatin1String("--verbose")) {
            line.verbose = true;
        } else if (const QtOption* qt = qtOption(word)) {
            if (qt->takesValue) {
                if (i + 1 >= words.size()) {
                    line.error = QStringLiteral("option '%1' needs a value").arg(word);
                    return line;
                }
                ++i;
            }
        } else {
            line.error = QStringLiteral("unknown option '%1'").arg(word);
            return line;
        }
    }
    return line;
}

QString CommandLine::usage() {
    return QStringLiteral(
        "Usage: trevalune [OPTION]... [FILE]...\n"
        "Opens the audio or movie files as tracks of a new composition; a .trvproj\n"
        "folder opens as a project.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --verbose  print the application's log on the terminal too\n"
        "  --             every word after this is a file, even one that begins\n"
        "                 with a dash\n"
        "\n"
        "Messages are kept in ~/.local/share/Trevalune/trevalune.log.\n");
}

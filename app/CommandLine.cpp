// The command line's options and argument text.
#include "app/CommandLine.h"

#include "ui/Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    qsizetype first = 0;
    for (; first < arguments.size(); ++first) {
        const QString &word = arguments.at(first);
        if (word == u"--") {
            ++first;
            break;
        }
        // A lone "-" and anything not starting with "-" begin the text.
        if (!word.startsWith(u'-') || word == u"-")
            break;
        if (word == u"--help" || word == u"-h") {
            result.action = CommandLine::Action::Help;
            return result;
        }
        if (word == u"--version" || word == u"-v") {
            result.action = CommandLine::Action::Version;
            return result;
        }
        result.action = CommandLine::Action::Error;
        result.badOption = word;
        return result;
    }
    result.arguments = arguments.mid(first);
    return result;
}

QStringList commandLinePaths(const QStringList &arguments, const QString &currentFolder)
{
    const auto absolute = [&](const QString &path) {
        return QDir::cleanPath(path.startsWith(u'/') ? path : currentFolder + u'/' + path);
    };
    const auto names = [&](const QString &path) {
        return !path.trimmed().isEmpty() && QFileInfo::exists(absolute(path));
    };
    const auto namesLoosely = [&](const QString &path) {
        return names(path) || names(path.trimmed());
    };
    QStringList paths = arguments;
    if (arguments.size() > 1 && std::none_of(arguments.begin(), arguments.end(), namesLoosely) &&
        namesLoosely(arguments.join(u' ')))
        paths = QStringList{arguments.join(u' ')};
    QStringList result;
    for (const QString &path : std::as_const(paths)) {
        if (path.trimmed().isEmpty())
            continue;
        result.append(absolute(!names(path) && names(path.trimmed()) ? path.trimmed() : path));
    }
    return result;
}

bool isToolkitOption(const QString &word)
{
    static const QStringList names = {u"platform"_s,
                                      u"platformpluginpath"_s,
                                      u"platformtheme"_s,
                                      u"plugin"_s,
                                      u"qwindowgeometry"_s,
                                      u"qwindowicon"_s,
                                      u"qwindowtitle"_s,
                                      u"reverse"_s,
                                      u"session"_s,
                                      u"display"_s,
                                      u"geometry"_s,
                                      u"title"_s,
                                      u"icon"_s,
                                      u"name"_s,
                                      u"visual"_s,
                                      u"ncols"_s,
                                      u"cmap"_s,
                                      u"nograb"_s,
                                      u"dograb"_s,
                                      u"sync"_s,
                                      u"style"_s,
                                      u"stylesheet"_s,
                                      u"widgetcount"_s,
                                      u"qmljsdebugger"_s,
                                      u"testability"_s};
    QString name = word;
    while (name.startsWith(u'-'))
        name.remove(0, 1);
    return names.contains(name.section(u'=', 0, 0));
}

QString usageText()
{
    // Option and variable names stay as typed; the columns line up in every language.
    return QCoreApplication::translate(
        "CommandLine",
        "Usage: sonabel [OPTION]... [--] [PATH]...\n"
        "Plays Standard MIDI Files in a loop. Each PATH is a MIDI file (.mid, .midi,\n"
        ".kar, .rmi, .smf), an album (.mal) or a folder searched for MIDI files. The\n"
        "playlist becomes the PATHs, in order, and the first plays. When the player\n"
        "already runs, the PATHs are handed to it and this start ends, with exit status\n"
        "1 if the player did not take them. A name with blanks typed without quotes is\n"
        "taken as one PATH when only the whole names something.\n"
        "\n"
        "  -h, --help       print this help and exit\n"
        "  -v, --version    print the version and exit\n"
        "  --               end of options: what follows are PATHs, even if they start with -\n"
        "\n"
        "Environment:\n"
        "  SONABEL_OUTPUT        synth (the default), silent, or alsa:CLIENT:PORT\n"
        "  SONABEL_SOUNDFONT     the SoundFont of the built-in synthesizer\n"
        "  SONABEL_AUDIO_DRIVER  the synthesizer's audio driver (pulseaudio, alsa, jack, file, "
        "...)\n"
        "  SONABEL_AUDIO_FILE    with the file driver (which needs it), the WAV file written\n"
        "  XDG_CONFIG_HOME       where the settings (Orvane/Sonabel.ini) are kept\n");
}

int reportCommandLine(const CommandLine &commandLine)
{
    switch (commandLine.action) {
    case CommandLine::Action::Run:
        return -1;
    case CommandLine::Action::Help:
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs("sonabel " SONABEL_VERSION "\n", stdout);
        return 0;
    case CommandLine::Action::Error:
        std::fprintf(stderr, "sonabel: %s\n%s\n",
                     QCoreApplication::translate("CommandLine", "unknown option '%1'")
                         .arg(commandLine.badOption)
                         .toLocal8Bit()
                         .constData(),
                     QCoreApplication::translate("CommandLine", "Try 'sonabel --help'.")
                         .toLocal8Bit()
                         .constData());
        return 2;
    }
    return -1;
}

// The command line: the player's few options, and the argument text that
// everything after them makes.
//
// Options come first: "--help"/"-h" and "--version"/"-v" print and end the
// program; "--" ends the options; any other word starting with "-" is an
// error. The first word that is no option, and every word after it, are
// paths, one each (a path may start with "-" once it follows "--").
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine
{
    enum class Action {
        Run,     // start (or hand the argument text over)
        Help,    // print usage and end
        Version, // print the version and end
        Error    // an unknown option: a message on stderr, exit status 2
    };
    Action action = Action::Run;
    QStringList arguments; // Run: the words after the options, as given
    QString badOption;     // Error: the option not understood
};

// Parses the arguments after the program's own name.
CommandLine parseCommandLine(const QStringList &arguments);

// The paths the arguments name, in order, each made absolute against
// currentFolder (and "." and ".." taken out). Where the arguments joined by single blanks name an
// existing file or folder and none of them does one by one, they are one path (a name with blanks
// typed without quotes). Blanks around a path that names nothing as written are dropped when that
// makes it name something; blank arguments are no paths.
QStringList commandLinePaths(const QStringList &arguments, const QString &currentFolder);

// Prints what action asks for (usage, version or the error) and returns the
// exit status; Run prints nothing and returns -1.
int reportCommandLine(const CommandLine &commandLine);

// True for an option the toolkit itself takes out of the command line
// ("-platform", "-display", "-style", ...), which only the application object
// can tell apart from the player's own.
bool isToolkitOption(const QString &word);

// Everything the user may set: the options and the environment variables.
QString usageText();

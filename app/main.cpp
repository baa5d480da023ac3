// The program's entry point: hands over to Main().
#include "app/Main.h"

#include "app/CommandLine.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    // Help and version are answered before the application object exists, so
    // they need no display and touch nothing. Anything else waits until Qt has
    // taken its own options out ("-platform NAME", ...).
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    const CommandLine early = parseCommandLine(arguments);
    if (early.action == CommandLine::Action::Help || early.action == CommandLine::Action::Version)
        return reportCommandLine(early);

    QApplication app(argc, argv);
    return Main(app);
}

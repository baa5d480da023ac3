// The program's entry point: hands over to Main().
#include "app/Main.h"

#include "app/CommandLine.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    // Help, version and unknown options are answered before the application
    // object exists, so they need no display and touch nothing. Qt's own
    // options ("-platform NAME", ...) are left for it to take out first.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    const CommandLine early = parseCommandLine(arguments);
    if (early.action != CommandLine::Action::Run && !isToolkitOption(early.badOption))
        return reportCommandLine(early);
    if (!EnoughDescriptors())
        return 1;

    QApplication app(argc, argv);
    return Main(app);
}

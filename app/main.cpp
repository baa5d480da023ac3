// The program's entry point: hands over to Main().
#include "app/Main.h"

#include "app/CommandLine.h"
#include "app/Translations.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QFile>
#include <vector>

int main(int argc, char *argv[])
{
    // Help, version and unknown options are answered before the application
    // object exists, so they need no display and touch nothing. Qt's own
    // options ("-platform NAME", ...) are left for it to take out first. A
    // core application object, which needs no display, carries the translation.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    const CommandLine early = parseCommandLine(arguments);
    if (early.action != CommandLine::Action::Run && !isToolkitOption(early.badOption)) {
        int coreCount = argc;
        QCoreApplication core(coreCount, argv);
        installTranslations(core);
        return reportCommandLine(early);
    }
    if (!EnoughDescriptors())
        return 1;

    // On a Wayland session the window goes through XWayland where there is
    // one. Asked for on the command line, not in the environment, so that
    // programs started from the player choose for themselves.
    QByteArray platformOption = "-platform";
    QByteArray platform =
        preferredWindowPlatform(arguments, qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"));
    std::vector<char *> toolkitArguments(argv, argv + argc);
    if (!platform.isEmpty() && argc > 0)
        toolkitArguments.insert(toolkitArguments.begin() + 1,
                                {platformOption.data(), platform.data()});
    toolkitArguments.push_back(nullptr);
    int toolkitCount = static_cast<int>(toolkitArguments.size()) - 1;

    QApplication app(toolkitCount, toolkitArguments.data());
    return Main(app);
}

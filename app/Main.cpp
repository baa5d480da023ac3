// Start-up: the probe for a running instance, the main window, the argument.
#include "app/Main.h"

#include "app/CommandLine.h"
#include "engine/DeviceFactory.h"
#include "mpris/MprisService.h"
#include "platform/Dialogs.h"
#include "platform/InstanceLink.h"
#include "platform/SettingsStore.h"
#include "platform/Signals.h"
#include "player/Player.h"
#include "player/Sound.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

void TakeArgument(frmMain &window, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    window.UpdateOLE(paths, true);
    window.player.playFromStart();
}

// Once the playlist and the settings are kept, the rest of the way out (the
// device closed, the window system let go) gets this long.
constexpr int EndGraceMs = 1000;

// Descriptors the player needs at the least: the window system, the sound
// server, the session bus, the link, the song and the album it reads, with
// room for the toolkit's own.
constexpr rlim_t MinimumDescriptors = 32;

bool EnoughDescriptors()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= MinimumDescriptors)
        return true;
    if (limit.rlim_max > limit.rlim_cur) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1024);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur >= MinimumDescriptors)
            return true;
    }
    const QString text =
        QCoreApplication::translate("Main", "Sonabel may open only %1 files at once (ulimit -n); "
                                            "it needs at least %2.")
            .arg(limit.rlim_cur)
            .arg(MinimumDescriptors);
    std::fprintf(stderr, "sonabel: %s\n", qPrintable(text));
    return false;
}

// A start that cannot do what it was asked says so on stderr, and in a
// message box where there is a display to show it on.
static void ReportStartProblem(const QString &text)
{
    std::fprintf(stderr, "sonabel: %s\n", qPrintable(text));
    const QString platform = QGuiApplication::platformName();
    if (platform != u"offscreen" && platform != u"minimal")
        QtDialogs().MsgBox(text);
}

// A later start: the paths go to the running instance, all in one message.
// Success only once they are in its playlist.
static int HandOver(InstanceLink &link, const QStringList &paths)
{
    if (paths.isEmpty())
        return 0;
    switch (link.execute(paths)) {
    case InstanceLink::Delivery::Accepted:
        return 0;
    case InstanceLink::Delivery::Refused:
        ReportStartProblem(QCoreApplication::translate(
            "Main", "The running Sonabel refused the files: the list is too long."));
        break;
    case InstanceLink::Delivery::Unreachable:
        ReportStartProblem(QCoreApplication::translate(
            "Main", "Sonabel is running but did not answer; the files were not added."));
        break;
    case InstanceLink::Delivery::Lost:
        ReportStartProblem(QCoreApplication::translate(
            "Main", "The running Sonabel closed before it added the files."));
        break;
    }
    return 1;
}

int Main(QApplication &app)
{
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationName(QStringLiteral("Sonabel"));
    QApplication::setDesktopFileName(QStringLiteral("sonabel"));
    QApplication::setQuitOnLastWindowClosed(false);

    // The options, with Qt's own taken out; the paths are what follows, made
    // absolute here, where the caller's folder is known.
    const CommandLine commandLine = parseCommandLine(app.arguments().mid(1));
    if (commandLine.action != CommandLine::Action::Run)
        return reportCommandLine(commandLine);
    const QStringList paths = commandLinePaths(commandLine.arguments, QDir::currentPath());

    // The probe, before any window exists. A running instance takes the
    // paths and this start ends: no window, nothing saved. Otherwise this
    // start holds the session and listens from here on.
    InstanceLink link;
    if (link.probe() == InstanceLink::Probe::InstanceRunning)
        return HandOver(link, paths);

    // From here on a termination signal closes the player the normal way, also
    // one that comes before the event loop runs or inside a message box.
    TerminationSignals termination;

    QtDialogs dialogs;
    IniSettingsStore store;
    const std::unique_ptr<SequencerDevice> device = makeSequencerDevice(soundChoiceToOpen(store));
    MainWindowServices services;
    services.MCI = device.get();
    services.dlg = &dialogs;
    services.store = &store;
    services.association = userAssociationPlaces();
    services.programFolder = QApplication::applicationDirPath();

    frmMain window(services);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     &frmMain::requestClose);
    connectShutdown(app, window);

    window.Form_Load();
    if (!window.closeRequested()) {
        window.show();
        TakeArgument(window, paths);
    }
    if (window.closeRequested()) {
        // Asked to close while loading: the playlist as it stands is kept.
        link.close();
        window.Form_QueryUnload();
        endProcessAfter(EndGraceMs, 0);
        return 0;
    }
    // The bus sees the Player; what it asks of the window is wired here.
    MprisService mpris(window.player);
    QObject::connect(&mpris, &MprisService::raiseRequested, &window, &frmMain::bringToFront);
    QObject::connect(&mpris, &MprisService::quitRequested, &window, &frmMain::requestClose);
    QObject::connect(&mpris, &MprisService::openRequested, &window, [&window](const QString &path) {
        window.UpdateOLE(QStringList{path}, false);
    });
    mpris.start();
    // Texts from later starts are taken once the first start's own argument
    // is in, and no longer once the player has closed.
    link.setHandler([&window](const QStringList &CmdStr) { window.Form_LinkExecute(CmdStr); });
    QObject::connect(&window, &frmMain::closed, &link, &InstanceLink::close);
    window.setEventLoopRunning(true);
    const int status = app.exec();
    window.setEventLoopRunning(false);
    link.close();
    window.Form_QueryUnload();
    endProcessAfter(EndGraceMs, status);
    return status;
}

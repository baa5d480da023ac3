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
#include <cstdio>
#include <memory>

void TakeArgument(frmMain &window, const QString &argumentText)
{
    const QString trimmed = argumentText.trimmed();
    if (trimmed.isEmpty())
        return;
    window.UpdateOLE(QStringList{trimmed}, true);
    window.player.playFromStart();
}

// A later start: the argument goes to the running instance. A text that was
// never acknowledged is not reported as delivered.
static int HandOver(InstanceLink &link, const QString &argumentText)
{
    if (argumentText.trimmed().isEmpty())
        return 0;
    switch (link.execute(argumentText)) {
    case InstanceLink::Delivery::Accepted:
        return 0;
    case InstanceLink::Delivery::Refused:
        std::fprintf(stderr, "sonabel: the running player refused the argument\n");
        return 1;
    case InstanceLink::Delivery::Lost:
        break;
    }
    std::fprintf(stderr, "sonabel: the running player did not acknowledge the argument; "
                         "it may not have been taken\n");
    return 1;
}

int Main(QApplication &app)
{
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationName(QStringLiteral("Sonabel"));
    QApplication::setDesktopFileName(QStringLiteral("sonabel"));
    QApplication::setQuitOnLastWindowClosed(false);

    // The options, with Qt's own taken out; the argument text is what follows.
    const CommandLine commandLine = parseCommandLine(app.arguments().mid(1));
    if (commandLine.action != CommandLine::Action::Run)
        return reportCommandLine(commandLine);
    const QString argumentText = commandLine.argumentText;

    // The probe, before any window exists. A running instance takes the
    // argument and this start ends: no window, nothing saved. Otherwise this
    // start listens from here on.
    InstanceLink link;
    if (link.probe() == InstanceLink::Probe::InstanceRunning)
        return HandOver(link, argumentText);

    // From here on a termination signal closes the player the normal way, also
    // one that comes before the event loop runs or inside a message box.
    TerminationSignals termination;

    QtDialogs dialogs;
    IniSettingsStore store;
    const std::unique_ptr<SequencerDevice> device = makeSequencerDevice(storedSoundChoice(store));
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
        TakeArgument(window, argumentText);
    }
    if (window.closeRequested()) {
        // Asked to close while loading: the playlist as it stands is kept.
        link.close();
        window.Form_QueryUnload();
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
    link.setHandler([&window](const QString &CmdStr) { window.Form_LinkExecute(CmdStr); });
    QObject::connect(&window, &frmMain::closed, &link, &InstanceLink::close);
    window.setEventLoopRunning(true);
    const int status = app.exec();
    window.setEventLoopRunning(false);
    link.close();
    window.Form_QueryUnload();
    return status;
}

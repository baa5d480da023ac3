// Start-up: the probe for a running instance, the main window, the argument.
#include "app/Main.h"

#include "app/CommandLine.h"
#include "engine/DeviceFactory.h"
#include "platform/Dialogs.h"
#include "platform/InstanceLink.h"
#include "platform/SettingsStore.h"
#include "platform/Signals.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <memory>

void TakeArgument(frmMain &window, const QString &argumentText)
{
    const QString trimmed = argumentText.trimmed();
    if (trimmed.isEmpty())
        return;
    window.UpdateOLE(QStringList{trimmed}, true);
    window.PlayIndex = -1;
    window.MCI_Done(0);
    window.Stopped = false;
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
    if (link.probe() == InstanceLink::Probe::InstanceRunning) {
        if (!argumentText.trimmed().isEmpty())
            link.execute(argumentText); // the answer is awaited, not examined
        return 0;
    }

    const std::unique_ptr<SequencerDevice> device = makeSequencerDevice();
    QtDialogs dialogs;
    IniSettingsStore store;
    MainWindowServices services;
    services.MCI = device.get();
    services.dlg = &dialogs;
    services.store = &store;
    services.association = userAssociationPlaces();
    services.programFolder = QApplication::applicationDirPath();

    frmMain window(services);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     &frmMain::mnuClose_Click);
    QObject::connect(&window, &frmMain::closed, &app, &QCoreApplication::quit);
    // The session manager's quit ends the event loop; the shutdown still runs.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &frmMain::Form_QueryUnload);

    window.Form_Load();
    window.show();

    TakeArgument(window, argumentText);
    // Texts from later starts are taken once the first start's own argument
    // is in, and no longer once the player has closed.
    link.setHandler([&window](const QString &CmdStr) { window.Form_LinkExecute(CmdStr); });
    QObject::connect(&window, &frmMain::closed, &link, &InstanceLink::close);
    const int status = app.exec();
    link.close();
    window.Form_QueryUnload();
    return status;
}

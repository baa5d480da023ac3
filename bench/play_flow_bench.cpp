// The cost of an advance, a status update, appending an entry and opening the
// play menu, with playlists of 1 000, 10 000 and 100 000 entries.
#include "BenchSupport.h"
#include "playlist/PlaylistModel.h"
#include "ui/SongMenu.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const BenchServices bench(QStringLiteral("/tmp"));
    const MainWindowServices &services = bench.services;

    std::printf("%-10s %12s %14s %12s %12s\n", "entries", "advance ms", "status ms", "append ms",
                "menu ms");
    for (int size : {1000, 10000, 100000}) {
        frmMain window(services);
        window.Global.ResetMode = 0;
        window.show();
        for (int i = 0; i < size; ++i)
            window.lstPlay.append(
                QStringLiteral("/music/folder %1/song number %2.mid").arg(i % 97).arg(i));
        window.UpdateMIDI();
        window.setPlayIndex(size / 2);

        const double advance = medianMs(51, [&] { window.MCI_Done(0); });
        const double status = medianMs(51, [&] { window.MCI_StatusUpdate(); });
        const double append = medianMs(51, [&] {
            window.lstPlay.append(QStringLiteral("/music/extra.mid"));
            window.UpdateMIDI();
        });
        const double menu = medianMs(21, [&] {
            window.UpdateMIDIMenu(); // the songs changed: the menu is rebuilt on showing
            window.mnuPlay->popup(QPoint(10, 10));
            QApplication::processEvents();
            window.mnuPlay->hide();
        });
        std::printf("%-10d %12.3f %14.3f %12.3f %12.3f\n", size, advance, status, append, menu);
    }
    std::printf("target: every figure under 20 ms, flat or linear growth\n");
    return 0;
}

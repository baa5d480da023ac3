// Once a second: the song line and the percentage bar, as the Player tells
// them. Dragging the bar seeks.
#include "player/Progress.h"

#include "player/Player.h"
#include "playlist/FileTitle.h"
#include "ui/frmDummy.h"
#include "ui/frmMain.h"

#include <cmath>

namespace {

constexpr int BarWidth = 1800; // twips; 18 twips per percent

qint64 roundEven(double value)
{
    return static_cast<qint64>(std::nearbyint(value));
}

} // namespace

QString FormatTime(qint32 ms)
{
    const qint32 s = ms > 0 ? ms / 1000 : 0;
    return QString::number(s / 60) + u':' +
           QStringLiteral("%1").arg(s % 60, 2, 10, QLatin1Char('0'));
}

void frmMain::MCI_StatusUpdate()
{
    if (player.isStopped()) {
        shpBarProg->resize(0, shpBarProg->height());
        lblPct->hide();
        return;
    }
    const qint64 length = player.lengthMs();
    const qint64 position = player.positionMs();
    const QString line = FileTitle(player.file()) + QStringLiteral(" (") +
                         FormatTime(static_cast<qint32>(length)) + QStringLiteral(")") +
                         QStringLiteral(" - ") + FormatTime(static_cast<qint32>(position));
    lblSongName->setText(line);
    lblSongName->setToolTip(player.file());
    dummyForm()->setWindowTitle(line);
    // A song with no length (not open, or opening) leaves the bar as it was;
    // the Player moves on from a song that failed to open.
    if (length == 0 || Seeking)
        return;
    const qint64 percent = position * 100 / length;
    lblPct->setText(QString::number(percent) + u'%');
    lblPct->show();
    const qint64 width = std::clamp<qint64>(percent * 18, 0, BarWidth);
    shpBarProg->resize(px(static_cast<double>(width)), shpBarProg->height());
}

void frmMain::lblPct_MouseDown(Qt::MouseButton Button)
{
    if (Button == Qt::LeftButton && !player.isStopped())
        Seeking = true;
}

void frmMain::lblPct_MouseMove(double X)
{
    lblHelp->setVisible(true);
    if (!Seeking) {
        lblHelp->setText(QStringLiteral("Drag this bar to jump to specific song location"));
        return;
    }
    if (X < 0 || X > BarWidth)
        return;
    shpBarProg->resize(px(X), shpBarProg->height());
    lblPct->setText(QString::number(roundEven(X * 100) / BarWidth) + u'%');
    const double target = static_cast<double>(player.lengthMs()) * X / BarWidth;
    lblHelp->setText(QStringLiteral("Move to ") +
                     FormatTime(static_cast<qint32>(roundEven(target))));
}

void frmMain::lblPct_MouseUp(Qt::MouseButton Button, double X)
{
    if (Button == Qt::LeftButton)
        Seeking = false;
    // As the design has it: no clamping here, the device keeps the target
    // within the song.
    const double target = static_cast<double>(player.lengthMs()) * X / BarWidth;
    player.seek(roundEven(target));
}

void frmMain::lblPct_Step(int Direction)
{
    if (Direction < 0)
        seekBackKey();
    else
        seekForwardKey();
}

void frmMain::lblPct_SetPercent(int Percent)
{
    if (player.isStopped())
        return;
    player.seek(player.lengthMs() * std::clamp(Percent, 0, 100) / 100);
}

// Once a second: the song line, the percentage bar, and the end of a song.
// Dragging the bar seeks.
#include "player/Progress.h"

#include "engine/SequencerDevice.h"
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
    if (Stopped) {
        shpBarProg->resize(0, shpBarProg->height());
        lblPct->hide();
        return;
    }
    const QString line = FileTitle(PlayFile) + QStringLiteral(" (") + FormatTime(MCI->Length()) +
                         QStringLiteral(")") + QStringLiteral(" - ") + FormatTime(MCI->Position());
    lblSongName->setText(line);
    lblSongName->setToolTip(PlayFile);
    dummyForm()->setWindowTitle(line);

    if (MCI->Length() == 0) {
        MCI_Done(0);
        return;
    }
    // The next song once this one has played to its end. (The device's own
    // end-of-song notification usually comes first, but with a playlist it is
    // left alone: the advance happens here.)
    if (MCI->Position() >= MCI->Length())
        MCI_Done(0);

    const qint64 position = MCI->Position();
    const qint64 length = MCI->Length();
    if (length == 0)
        return;
    const qint64 percent = position * 100 / length;
    if (!Seeking) {
        lblPct->setText(QString::number(percent) + u'%');
        lblPct->show();
        const qint64 width = std::clamp<qint64>(percent * 18, 0, BarWidth);
        shpBarProg->resize(px(static_cast<double>(width)), shpBarProg->height());
    }
}

void frmMain::lblPct_MouseDown(int Button, int, double, double)
{
    if (Button == 1 && !Stopped)
        Seeking = true;
}

void frmMain::lblPct_MouseMove(int, int, double X, double)
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
    const double target = static_cast<double>(MCI->Length()) * X / BarWidth;
    lblHelp->setText(QStringLiteral("Move to ") +
                     FormatTime(static_cast<qint32>(roundEven(target))));
}

void frmMain::lblPct_MouseUp(int Button, int, double X, double)
{
    if (Button == 1)
        Seeking = false;
    const double target = static_cast<double>(MCI->Length()) * X / BarWidth;
    const qint64 from = roundEven(target);
    MCI->setFrom(static_cast<qint32>(std::clamp<qint64>(from, INT32_MIN, INT32_MAX)));
    MCI->Command(QStringLiteral("Play"));
}

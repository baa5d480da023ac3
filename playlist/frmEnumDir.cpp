// The folder-scan window.
#include "playlist/frmEnumDir.h"

#include "platform/WindowSystem.h"
#include "playlist/FileTitle.h"
#include "playlist/FolderScan.h"
#include "ui/frmMain.h"

namespace {

// The growing list is shown after each folder, but no more often than this,
// so that painting never dominates a scan of a large tree.
constexpr qint64 PaintIntervalMs = 50;
constexpr int UnloadDelayMs = 2000;

QLabel *label(const QString &caption, QWidget *parent, int left, int top, int width, int height)
{
    auto *l = new QLabel(caption, parent);
    placeTwips(l, left, top, width, height);
    return l;
}

} // namespace

frmEnumDir::frmEnumDir(frmMain *main) : QWidget(main, Qt::Tool), m_main(main)
{
    setWindowTitle(QStringLiteral("Directory Search"));
    // Showing the window must not take the focus from whatever has it: a
    // hand-over never activates the player.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(main->font());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Colors::Window);
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(px(4470), px(5085));

    Label1 = label(QStringLiteral("Scanning directory:"), this, 90, 90, 4290, 225);
    txtDir = label(QString(), this, 90, 315, 4290, 465);
    txtDir->setWordWrap(true);
    txtDir->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    txtDir->setAutoFillBackground(true);
    SetBackColor(txtDir, true);
    Label2 = label(QStringLiteral("MIDI file found:"), this, 45, 900, 4380, 225);
    lstMIDI = new ListBox(this);
    placeTwips(lstMIDI, 45, 1125, 4380, 3900);
    QPalette listPalette = lstMIDI->palette();
    listPalette.setColor(QPalette::Base, Colors::Lit);
    lstMIDI->setPalette(listPalette);

    tme = new QTimer(this);
    connect(tme, &QTimer::timeout, this, &frmEnumDir::tme_Timer);
}

void frmEnumDir::DirEntry(const QString &DirPath)
{
    lstFound.clear();
    lstMIDI->Clear();
    refreshWindowPosition(m_main);
    // Below the player, or above it near the screen's bottom; the allowance
    // is for the title bar the window manager adds.
    constexpr int FrameAllowance = 32;
    move(placeBeside(m_main->frameGeometry(), size() + QSize(0, FrameAllowance)));
    show();
    setWindowTitle(QStringLiteral("Searching ") + DirPath);

    SearchDir(DirPath);

    m_main->lstPlay.append(lstFound);
    m_main->UpdateMIDI();
    tme->start(UnloadDelayMs);
}

void frmEnumDir::SearchDir(const QString &Path)
{
    txtDir->setText(Path);
    m_sincePaint.invalidate();
    scanFolderTree(Path, [this](const QString &folder, const QStringList &files) {
        dir_Change(folder, files);
    });
    repaint();
}

void frmEnumDir::dir_Change(const QString &Path, const QStringList &Files)
{
    txtDir->setText(Path);
    lstFound.append(Files);
    QStringList titles;
    titles.reserve(Files.size());
    for (const QString &file : Files)
        titles.append(FileTitle(file));
    lstMIDI->AddItems(titles);
    if (!m_sincePaint.isValid() || m_sincePaint.elapsed() >= PaintIntervalMs) {
        repaint();
        m_sincePaint.start();
    }
}

void frmEnumDir::tme_Timer()
{
    tme->stop();
    hide();
    Q_EMIT unloaded();
    deleteLater();
}

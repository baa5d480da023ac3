// The folder-scan window.
#include "playlist/frmEnumDir.h"

#include "platform/Signals.h"
#include "platform/WindowSystem.h"
#include "playlist/AlbumLoad.h"
#include "playlist/FileTitle.h"
#include "playlist/FolderScan.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>
#include <algorithm>

namespace {

// The growing list is shown after each folder, but no more often than this,
// so that painting never dominates a scan of a large tree.
constexpr qint64 PaintIntervalMs = 50;
constexpr int UnloadDelayMs = 2000;
// How often an album load's progress is looked at.
constexpr int LoadTickMs = 40;
// The window's height while it shows an album load: the two labels, the bar
// and the button.
constexpr int AlbumHeightTwips = 2250;

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

frmEnumDir::~frmEnumDir()
{
    if (m_scanning)
        qApp->removeEventFilter(this);
}

void frmEnumDir::showAlbumControls()
{
    // In place of the list of files found, which an album does not fill.
    if (!m_progress) {
        m_progress = new QProgressBar(this);
        placeTwips(m_progress, 45, 1125, 4380, 330);
        m_progress->setRange(0, 1000);
        m_cancelButton = new QPushButton(tr("Cancel"), this);
        placeTwips(m_cancelButton, 3225, 1620, 1200, 405);
        connect(m_cancelButton, &QPushButton::clicked, this, [this] { m_cancelled = true; });
    }
    lstMIDI->hide();
    m_progress->show();
    m_cancelButton->show();
    setFixedSize(px(4470), px(AlbumHeightTwips));
}

void frmEnumDir::LoadAlbum(const QString &AlbumPath, std::unique_ptr<AlbumLoad> load,
                           std::function<void(AlbumLoad &)> ended)
{
    tme->stop();
    m_load = std::move(load);
    m_loadEnded = std::move(ended);
    showAlbumControls();
    Label1->setText(tr("Reading album:"));
    txtDir->setText(AlbumPath);
    Label2->setText(tr("Entries found: %1").arg(0));
    m_progress->setValue(0);
    refreshWindowPosition(m_main);
    constexpr int FrameAllowance = 32;
    move(placeBeside(m_main->frameGeometry(), size() + QSize(0, FrameAllowance)));
    setWindowTitle(tr("Loading %1").arg(AlbumPath));
    show();

    m_cancelled = false;
    m_closedByUser = false;
    m_scanning = true;
    qApp->installEventFilter(this);
    if (!m_loadTick) {
        m_loadTick = new QTimer(this);
        connect(m_loadTick, &QTimer::timeout, this, &frmEnumDir::albumTick);
    }
    m_loadTick->start(LoadTickMs);
}

void frmEnumDir::albumTick()
{
    if (!m_load)
        return;
    if (m_cancelled || TerminationSignals::pending() || m_main->closeRequested()) {
        endAlbumLoad(true);
        return;
    }
    if (m_load->finished()) {
        endAlbumLoad(false);
        return;
    }
    const qint64 size = std::max<qint64>(m_load->size(), 1);
    m_progress->setValue(int(std::min<qint64>(1000, m_load->bytesRead() * 1000 / size)));
    Label2->setText(tr("Entries found: %1").arg(locale().toString(m_load->entriesFound())));
}

void frmEnumDir::cancelAlbumLoad()
{
    if (m_load)
        endAlbumLoad(true);
}

void frmEnumDir::endAlbumLoad(bool cancel)
{
    m_loadTick->stop();
    // Nothing of this window is touched once it has unloaded.
    const std::unique_ptr<AlbumLoad> load = std::move(m_load);
    const std::function<void(AlbumLoad &)> ended = std::move(m_loadEnded);
    if (cancel)
        load->cancel();
    qApp->removeEventFilter(this);
    m_scanning = false;
    tme_Timer();
    ended(*load);
}

void frmEnumDir::DirEntry(const QString &DirPath)
{
    // The scan lets events through; the unload timer of an earlier scan must
    // not fire inside it.
    tme->stop();
    lstFound.clear();
    lstMIDI->Clear();
    refreshWindowPosition(m_main);
    // Below the player, or above it near the screen's bottom; the allowance
    // is for the title bar the window manager adds.
    constexpr int FrameAllowance = 32;
    move(placeBeside(m_main->frameGeometry(), size() + QSize(0, FrameAllowance)));
    show();
    setWindowTitle(QStringLiteral("Searching ") + DirPath);

    m_cancelled = false;
    m_closedByUser = false;
    m_sinceInput.invalidate();
    m_scanning = true;
    qApp->installEventFilter(this);
    SearchDir(DirPath);
    qApp->removeEventFilter(this);
    m_scanning = false;

    m_main->lstPlay.append(lstFound);
    m_main->UpdateMIDI();
    if (m_closedByUser)
        tme_Timer();
    else
        tme->start(UnloadDelayMs);
}

bool frmEnumDir::scanCancelled()
{
    // Input reaches the scan between folders, so that it can be stopped.
    if (!m_sinceInput.isValid() || m_sinceInput.elapsed() >= PaintIntervalMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        m_sinceInput.start();
    }
    if (TerminationSignals::pending() || m_main->closeRequested())
        m_cancelled = true;
    return m_cancelled;
}

void frmEnumDir::closeEvent(QCloseEvent *event)
{
    if (m_scanning) {
        // The scan stops and what it found is kept; the window goes once the
        // playlist has it.
        m_cancelled = true;
        m_closedByUser = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool frmEnumDir::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_scanning)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            m_cancelled = true;
        return true;
    case QEvent::Close:
        if (watched == this)
            return false;
        if (watched == m_main) {
            // The main window closed from outside: the scan stops first.
            m_cancelled = true;
            event->ignore();
            m_main->requestClose();
            return true;
        }
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride: {
        // Only this window takes input while it scans; the player's own
        // handlers wait until the scan is done.
        if (auto *window = qobject_cast<QWindow *>(watched))
            return window != windowHandle();
        auto *widget = qobject_cast<QWidget *>(watched);
        return !(widget && (widget == this || isAncestorOf(widget)));
    }
    default:
        return false;
    }
}

void frmEnumDir::SearchDir(const QString &Path)
{
    txtDir->setText(Path);
    m_sincePaint.invalidate();
    scanFolderTree(
        Path,
        [this](const QString &folder, const QStringList &files) { dir_Change(folder, files); },
        [this] { return scanCancelled(); }, &refused);
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
    if (m_scanning)
        return;
    tme->stop();
    hide();
    Q_EMIT unloaded();
    deleteLater();
}

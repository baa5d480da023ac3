// The folder-scan window: shows the folder being scanned and the MIDI files
// found so far, hands them to the main window's playlist, and unloads itself
// 2000 ms after its last scan. The walk itself is playlist/FolderScan.
//
// It also shows the progress of an album read on a worker (playlist/AlbumLoad)
// with a Cancel button, and unloads as soon as that load is over.
#pragma once

#include "ui/Controls.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class AlbumLoad;
class QProgressBar;
class QPushButton;
class frmMain;

class frmEnumDir : public QWidget
{
    Q_OBJECT
public:
    // A tool window of the main window, hidden until its first scan.
    explicit frmEnumDir(frmMain *main);
    ~frmEnumDir() override;

    // Scans DirPath's folder tree and appends the MIDI files found to the main
    // window's playlist. While it scans, only this window takes input: closing
    // it or Escape (pressed anywhere in the player) stops the scan, and so does
    // a termination request; what was found so far is kept.
    void DirEntry(const QString &DirPath);
    // A folder scan or an album load runs.
    bool isScanning() const { return m_scanning; }

    // Shows the progress of load, the reading of the album AlbumPath: the
    // share of the file read and the entries found so far. Meanwhile only
    // this window takes input, as during a scan; its Cancel button, closing
    // it, Escape and a termination request cancel the load. Returns at once;
    // once the load is over the window unloads and then ended is called with
    // the load, finished or cancelled.
    void LoadAlbum(const QString &AlbumPath, std::unique_ptr<AlbumLoad> load,
                   std::function<void(AlbumLoad &)> ended);
    // Ends a running album load as cancelled, at once (ended is called).
    void cancelAlbumLoad();
    bool isLoadingAlbum() const { return m_load != nullptr; }
    QProgressBar *albumProgress() const { return m_progress; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    // Files left out of the scans so far because their names hold a line break.
    int refused = 0;
    // Unloads the window.
    void tme_Timer();

    QLabel *Label1;
    QLabel *txtDir;
    QLabel *Label2;
    ListBox *lstMIDI;     // titles of the MIDI files found, in the order found
    QStringList lstFound; // their full paths, in the same order
    QTimer *tme;

Q_SIGNALS:
    // Raised when the window unloads; it is deleted right after.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool scanCancelled();
    void SearchDir(const QString &Path);
    // The walk has moved into Path, whose MIDI files are Files.
    void dir_Change(const QString &Path, const QStringList &Files);
    void showAlbumControls();
    void albumTick();
    void endAlbumLoad(bool cancel);

    frmMain *m_main;
    QElapsedTimer m_sincePaint;
    QElapsedTimer m_sinceInput;
    bool m_scanning = false;
    bool m_cancelled = false;
    bool m_closedByUser = false;

    // The album load shown, while it runs.
    std::unique_ptr<AlbumLoad> m_load;
    std::function<void(AlbumLoad &)> m_loadEnded;
    QTimer *m_loadTick = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

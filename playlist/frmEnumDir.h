// The folder-scan window: shows the folder being scanned and the MIDI files
// found so far, hands them to the main window's playlist, and unloads itself
// 2000 ms after its last scan. The walk itself is playlist/FolderScan.
#pragma once

#include "ui/Controls.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class frmMain;

class frmEnumDir : public QWidget
{
    Q_OBJECT
public:
    // A tool window of the main window, hidden until its first scan.
    explicit frmEnumDir(frmMain *main);

    // Scans DirPath's folder tree and appends the MIDI files found to the main
    // window's playlist. While it scans, only this window takes input: closing
    // it or Escape (pressed anywhere in the player) stops the scan, and so does
    // a termination request; what was found so far is kept.
    void DirEntry(const QString &DirPath);
    bool isScanning() const { return m_scanning; }
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

    frmMain *m_main;
    QElapsedTimer m_sincePaint;
    QElapsedTimer m_sinceInput;
    bool m_scanning = false;
    bool m_cancelled = false;
    bool m_closedByUser = false;
};

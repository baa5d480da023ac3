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
    // window's playlist. Runs to its end without handling any other event.
    void DirEntry(const QString &DirPath);
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

private:
    void SearchDir(const QString &Path);
    // The walk has moved into Path, whose MIDI files are Files.
    void dir_Change(const QString &Path, const QStringList &Files);

    frmMain *m_main;
    QElapsedTimer m_sincePaint;
};

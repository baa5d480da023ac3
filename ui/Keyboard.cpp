// The keys a user expects of a player, and names and roles for screen readers
// (the buttons are labels and pictures, which would otherwise read as plain
// text or nothing at all). What the play keys do is in player/PlayFlow.cpp.
#include "ui/frmMain.h"

#include <QKeySequence>
#include <QShortcut>

void frmMain::connectKeyboard()
{
    struct Key
    {
        QKeySequence keys;
        void (frmMain::*handler)();
    };
    const Key keys[] = {
        {QKeySequence(Qt::Key_Space), &frmMain::playPauseKey},
        {QKeySequence(Qt::CTRL | Qt::Key_O), &frmMain::mnuLoad_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_S), &frmMain::mnuSave_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), &frmMain::mnuClose_Click},
        {QKeySequence(Qt::Key_Left), &frmMain::seekBackKey},
        {QKeySequence(Qt::Key_Right), &frmMain::seekForwardKey},
        {QKeySequence(Qt::Key_PageUp), &frmMain::previousSongKey},
        {QKeySequence(Qt::Key_PageDown), &frmMain::nextSongKey},
    };
    for (const Key &key : keys) {
        auto *shortcut = new QShortcut(key.keys, this);
        connect(shortcut, &QShortcut::activated, this, key.handler);
    }

    struct Name
    {
        QWidget *control;
        const char *name;
        const char *description;
    };
    const Name names[] = {
        {img1, "Menu", "Right-click for the player's menu; double-click to close"},
        {lblSongName, "Song", "Drag to move the window; double-click to shade it"},
        {imgControls[0], "Previous", "Start the song again; twice to go back one song"},
        {imgControls[1], "Play", "Play"},
        {imgControls[2], "Pause", "Pause or resume"},
        {imgControls[3], "Stop", "Stop"},
        {imgControls[4], "Next", "Play the next song"},
        {btnUp, "Move up", "Move the selected song up"},
        {btnDn, "Move down", "Move the selected song down"},
        {btnRn, "Randomize", "Randomize playlist"},
        {btnSort, "Sort", "Sort playlist by its directory"},
        {btnLoad, "Add an album", "Add an album to the existing album"},
        {btnSave, "Save this album", "Save this album under a new name or replace existing name"},
        {btnRemove, "Remove from album", "Remove MIDI(es) selected at listbox from album"},
        {btnClear, "Clear album", "Clear the album"},
        {btnPlay, "Play this MIDI", "Play the MIDI selected at the listbox"},
        {btnConfig, "Configuration", "Click this to configure the Sonabel options"},
        {lblPct, "Position", "Drag this bar to jump to specific song location"},
        {lstMIDI, "Playlist", "Drag any folder or MIDI files here"},
    };
    for (const Name &n : names) {
        n.control->setAccessibleName(QString::fromUtf8(n.name));
        n.control->setAccessibleDescription(QString::fromUtf8(n.description));
    }
}

// The keys a user expects of a player, the order Tab takes through the
// controls, and names and descriptions for screen readers. What the play keys
// do is in player/PlayFlow.cpp.
//
// The play keys (Space, Left, Right, Page Up, Page Down) belong to the window
// only when the focused control leaves them alone: the list pages with Page
// Down and selects with Space, a focused button is pressed with Space.
#include "ui/frmMain.h"

#include <QKeyEvent>
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
        {QKeySequence(Qt::CTRL | Qt::Key_O), &frmMain::mnuLoad_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_S), &frmMain::mnuSave_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), &frmMain::mnuClose_Click},
    };
    for (const Key &key : keys) {
        auto *shortcut = new QShortcut(key.keys, this);
        connect(shortcut, &QShortcut::activated, this, key.handler);
    }

    // Tab goes as the eye does: the top strip, the list, the bar, the left
    // column of small buttons, the right column, the panel's tab, then the
    // panel (hidden while closed, so Tab passes it by). A click on a button or
    // a box leaves the focus where it was, so Space still plays and pauses.
    QWidget *const order[] = {img1,           lblSongName,     imgControls[0],
                              imgControls[1], imgControls[2],  imgControls[3],
                              imgControls[4], lstMIDI,         lblPct,
                              btnUp,          btnDn,           btnRn,
                              btnSort,        btnLoad,         btnSave,
                              btnRemove,      btnClear,        btnPlay,
                              btnConfig,      optInterrupt[0], optInterrupt[1],
                              chkSnap,        chkShadeMode,    chkTop,
                              chkDefault,     optReset[0],     optReset[1],
                              optReset[2]};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QAbstractButton *box : std::initializer_list<QAbstractButton *>{
             optInterrupt[0], optInterrupt[1], chkSnap, chkShadeMode, chkTop, chkDefault,
             optReset[0], optReset[1], optReset[2]})
        box->setFocusPolicy(Qt::TabFocus);
    fraConfig->hide();
    // The window's keys act from the start.
    lblSongName->setFocus();

    struct Name
    {
        QWidget *control;
        QString name;
        QString description;
    };
    const Name names[] = {
        {img1, tr("Menu"), tr("Right-click or press for the player's menu; double-click to close")},
        {imgControls[0], tr("Previous"), tr("Start the song again; twice to go back one song")},
        {imgControls[1], tr("Play"), tr("Play")},
        {imgControls[2], tr("Pause"), tr("Pause or resume")},
        {imgControls[3], tr("Stop"), tr("Stop")},
        {imgControls[4], tr("Next"), tr("Play the next song")},
        {btnUp, tr("Move up"), tr("Move the selected song up")},
        {btnDn, tr("Move down"), tr("Move the selected song down")},
        {btnRn, tr("Randomize"), tr("Randomize playlist")},
        {btnSort, tr("Sort"), tr("Sort playlist by its directory")},
        {btnLoad, tr("Add an album"), tr("Add an album to the existing album")},
        {btnSave, tr("Save this album"),
         tr("Save this album under a new name or replace existing name")},
        {btnRemove, tr("Remove from album"), tr("Remove MIDI(es) selected at listbox from album")},
        {btnClear, tr("Clear album"), tr("Clear the album")},
        {btnPlay, tr("Play this MIDI"), tr("Play the MIDI selected at the listbox")},
        {btnConfig, tr("Configuration"), tr("Click this to configure the Sonabel options")},
        {lblPct, tr("Position"), tr("Drag this bar to jump to specific song location")},
        {lstMIDI, tr("Playlist"), tr("Drag any folder or MIDI files here")},
    };
    for (const Name &n : names) {
        n.control->setAccessibleName(n.name);
        n.control->setAccessibleDescription(n.description);
    }
    // The song title is read as the song line it shows.
    lblSongName->setAccessibleDescription(
        tr("The song that plays. Drag to move the window, double-click to shade it; press "
           "Return for the play menu"));
}

void frmMain::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Left and Right in the list move nothing in the song.
    const bool inList = focusWidget() == lstMIDI;
    switch (event->key()) {
    case Qt::Key_Space:
        playPauseKey();
        break;
    case Qt::Key_Left:
        if (!inList)
            seekBackKey();
        break;
    case Qt::Key_Right:
        if (!inList)
            seekForwardKey();
        break;
    case Qt::Key_PageUp:
        previousSongKey();
        break;
    case Qt::Key_PageDown:
        nextSongKey();
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}

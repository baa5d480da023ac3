// The keys a user expects of a player, the order Tab takes through the
// controls, and names and descriptions for screen readers. What the play keys
// do is in player/PlayFlow.cpp.
//
// The play keys (Space, Left, Right, Page Up, Page Down) belong to the window
// only when the focused control leaves them alone: the list pages with Page
// Down and selects with Space, a focused button is pressed with Space.
#include "ui/frmMain.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>

namespace {

// The window as a screen reader sees it: a window, whose children are its
// controls and, while they are open, its popup menus. Qt leaves popups out of
// the application's windows and a window's children are only the widgets
// inside it, so without this an open menu is reachable from nowhere.
class WindowAccessible : public QAccessibleWidget
{
public:
    explicit WindowAccessible(frmMain *window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(openMenus().size());
    }
    QAccessibleInterface *child(int index) const override
    {
        const int controls = QAccessibleWidget::childCount();
        if (index < controls)
            return QAccessibleWidget::child(index);
        const QList<QMenu *> menus = openMenus();
        return index - controls < menus.size()
                   ? QAccessible::queryAccessibleInterface(menus.at(index - controls))
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const qsizetype menu = child ? openMenus().indexOf(child->object()) : -1;
        if (menu >= 0)
            return QAccessibleWidget::childCount() + static_cast<int>(menu);
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    QList<QMenu *> openMenus() const
    {
        const auto *window = static_cast<const frmMain *>(widget());
        QList<QMenu *> menus;
        for (QMenu *menu : {window->mnuMenu, window->mnuPlay}) {
            if (menu->isVisible())
                menus.append(menu);
        }
        return menus;
    }
};

QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("frmMain"))
        return new WindowAccessible(static_cast<frmMain *>(object));
    return nullptr;
}

} // namespace

void frmMain::connectKeyboard()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    (void)installed;
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
        {optInterrupt[0], QString(), tr("New songs are added to the end of the playlist")},
        {optInterrupt[1], QString(), tr("New songs replace the playlist and play at once")},
        {chkSnap, QString(), tr("The window snaps to the top of the screen when dragged near it")},
        {chkShadeMode, QString(), tr("The player starts shaded to its title strip")},
        {chkTop, QString(), tr("The window stays above other windows")},
        {chkDefault, QString(), tr("MIDI files open in Sonabel")},
        {optReset[0], QString(), tr("Songs play without a reset before them")},
        {optReset[1], QString(), tr("A General MIDI reset before each song")},
        {optReset[2], QString(), tr("A Roland GS reset before each song")},
    };
    for (const Name &n : names) {
        if (!n.name.isEmpty()) // else the caption
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

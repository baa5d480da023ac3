// The main window: its controls, its state and its handlers.
//
// The window is built here (ui/frmMain.cpp); its handlers live with the
// subsystem they belong to, each file implementing a group of members:
//   app/Startup.cpp           Form_Load
//   app/Shutdown.cpp          Form_QueryUnload, mnuClose_Click, img1_DblClick, requestClose
//   app/Handover.cpp          Form_LinkExecute, optInterrupt_Click, mnuNewList/NewPlay_Click
//   app/WindowBehaviour.cpp   drag, shade, snap, always on top, minimise, popup menu
//   app/WindowSettings.cpp    LoadSettings, SaveSettings, chkDefault_Click
//   playlist/Playlist.cpp     AddPlayList, UpdateMIDI, UpdateAlbum, the playlist model
//   playlist/AlbumCommands.cpp btnLoad/mnuLoad/btnSave/mnuSave_Click, mnuA_Click
//   playlist/Editing.cpp      btnRemove/Clear/Up/Dn/Rn/Sort_Click (also the Delete key)
//   playlist/NewEntries.cpp   UpdateOLE, lstMIDI_OLEDragDrop, DirEntry
//   player/PlayFlow.cpp       MCI_Done, transport images, optReset_Click, the Player
//   player/Progress.cpp       MCI_StatusUpdate, seeking on lblPct
//   player/PlayMenu.cpp       UpdateMIDIMenu, playlist cues (the menu widget: ui/SongMenu)
//   player/LyricsView.cpp     the words of the song (the line widget: ui/LyricLabel)
//   player/Sound.cpp          mnuSound_Click, MCI_SoundProblem
//   player/SaveAudio.cpp      mnuSaveAudio_Click, mnuSaveAlbumAudio_Click
//   ui/Highlight.cpp          ClearUnderline, hover handlers, btnConfig_Click
//   ui/frmAbout.cpp           mnuAbout_Click (the about box)
//   ui/frmDummy.cpp           the taskbar placeholder's restore
//   ui/Keyboard.cpp           keyboard shortcuts, accessible names
// ui/ includes no header of the folders above it (app/, player/, playlist/):
// what they own is declared here by name only.
// What plays is the Player's (player/Player.h): the play handlers call it,
// and the window shows what it says (song line, bar, play menu).
// Everything runs on the window's thread, one handler at a time.
#pragma once

#include "platform/Dialogs.h"
#include "settings/Association.h"
#include "settings/Settings.h"
#include "ui/Controls.h"

#include <QCheckBox>
#include <QMenu>
#include <QPointF>
#include <QPointer>
#include <QRadioButton>
#include <QWidget>
#include <array>
#include <functional>

class SequencerDevice;
class SettingsStore;
class QAction;
class QButtonGroup;
class SongMenu;
class frmAbout;
class frmDummy;
class frmEnumDir;
class PlaylistModel;
class Player;
class QAbstractItemModel;
class AudioSaver;
class QProgressDialog;

// How reading an album into the playlist ended: taken in whole, taken in as
// far as the file could be read, cancelled (the playlist as it was), or too
// big for the memory left (the playlist as it was, and the user told).
enum class AlbumEnd { Loaded, Partial, Cancelled, OutOfMemory };

// What the window needs of the world outside it; tests hand in fakes.
struct MainWindowServices
{
    SequencerDevice *MCI = nullptr;
    Dialogs *dlg = nullptr;
    SettingsStore *store = nullptr;
    // The folder of the executable: reset files, "default.mal", "Albums".
    QString programFolder;
    // Where "default.mal" and "Albums" live; the program folder when it can be
    // written, else the per-user data folder. Empty: decided from programFolder.
    QString dataFolder;
    // Screen width in twips for the first-run position; 0: the primary screen's.
    double screenWidthTwips = 0;
    // Where the default-player choice is applied; with no folders set (tests)
    // the choice is only remembered.
    AssociationPlaces association;
};

class frmMain : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(const MainWindowServices &services, QWidget *parent = nullptr);
    ~frmMain() override;

    // ---- start-up and shutdown (app/) ----
    void Form_Load();
    void Form_QueryUnload();
    void mnuClose_Click();
    void img1_DblClick();
    // A close asked for from outside (a termination signal, the window system):
    // open dialogs end as cancelled, a folder scan stops, and the player closes
    // as soon as control is back in the main event loop, so the playlist it
    // keeps is whole. Before the main loop runs, Main closes instead.
    void requestClose();
    bool closeRequested() const { return m_closeRequested; }
    // Main says when its event loop runs; until then requestClose only marks.
    void setEventLoopRunning(bool running) { m_eventLoopRunning = running; }
    // The paths a later start handed over, in its order.
    void Form_LinkExecute(const QStringList &CmdStr);
    void optInterrupt_Click(int Index);
    void mnuNewList_Click();
    void mnuNewPlay_Click();

    // ---- window behaviour (app/) ----
    // Pointer positions are in pixels from the control's top-left corner.
    void img1_MouseUp(Qt::MouseButton Button);
    // Return or the menu key on the icon: the popup menu, below it.
    void img1_KeyMenu();
    void lblSongName_MouseDown(Qt::MouseButton Button, QPointF Pos);
    void lblSongName_MouseMove(QPointF Pos);
    void lblSongName_MouseUp();
    void lblSongName_DblClick();
    // Return or the menu key on the title: the play menu, below it.
    void lblSongName_KeyMenu();
    void mnuShade_Click();
    void chkShadeMode_Click();
    void chkSnap_Click();
    void mnuSnap_Click();
    void chkTop_Click();
    void mnuTop_Click();
    void mnuMinimize_Click();
    // Brings the window to the front as the user left it, unshaded (the
    // media bus's Raise).
    void bringToFront();
    void mnuAbout_Click();
    void Form_MouseMove();

    // ---- settings (app/) ----
    void chkDefault_Click();
    void LoadSettings();
    void SaveSettings();

    // ---- playlist and albums (playlist/) ----
    // False when the album could not be opened; the playlist is then unchanged
    // and `then` is not called. Otherwise a small album is read at once, a
    // large one on a worker while the folder-scan window shows the progress
    // and the window goes on; `then` is called once it is over, on this
    // thread, after the album's own steps. Cancelled or too big for the
    // memory left (which is reported), it leaves the playlist unchanged.
    bool AddPlayList(const QString &FPath, bool Update = false,
                     const std::function<void(AlbumEnd)> &then = {});
    // An album is being read on a worker (its progress shows).
    bool albumLoading() const;
    void UpdateMIDI();
    void UpdateAlbum(const QString &AlbumName = QString());
    // DataList: the new entries in order (full paths).
    void UpdateOLE(const QStringList &DataList, bool ForceClear);
    void lstMIDI_OLEDragDrop(const QStringList &paths);
    // Scans a folder tree for MIDI files and appends them to the playlist, in
    // the folder-scan window (created on first use).
    void DirEntry(const QString &DirPath);
    // The folder-scan window while it is loaded, else nullptr.
    frmEnumDir *enumDirForm() const { return m_enumDir; }
    void btnLoad_Click();
    void mnuLoad_Click();
    void btnSave_Click();
    void mnuSave_Click();
    void mnuA_Click(int Index);
    void btnRemove_Click();
    void btnClear_Click();
    void btnUp_Click();
    void btnDn_Click();
    void btnRn_Click();
    void btnSort_Click();

    // ---- playback (player/) ----
    // 0: the next song; other codes are the device's notices.
    void MCI_Done(int NotifyCode);
    // Once a second (the Player's positionChanged): the song line, the bar
    // and the placeholder's caption.
    void MCI_StatusUpdate();
    void btnPlay_Click();
    void lstMIDI_DblClick();
    void mnuMID_Click(int Index);
    void imgControls_Click(int Index);
    void imgControls_DblClick(int Index);
    void optReset_Click(int Index);
    // What the playlist's handlers ask of the Player, which they do not see:
    // the entry that plays (-1: none), which editing moves with the entries;
    // whether the play action must open the song anew, and marking it so
    // (what sounds goes on); and a file played at once, outside the playlist.
    qint32 playIndex() const;
    void setPlayIndex(qint32 index);
    bool isStopped() const;
    void markStopped();
    void playNow(const QString &path);
    // X: twips from the bar's left end.
    void lblPct_MouseDown(Qt::MouseButton Button);
    void lblPct_MouseMove(double X);
    void lblPct_MouseUp(Qt::MouseButton Button, double X);
    // Left or Right on the focused bar (-1, +1), and a percentage set by a
    // screen reader.
    void lblPct_Step(int Direction);
    void lblPct_SetPercent(int Percent);
    void UpdateMIDIMenu();
    void lstMIDI_MouseMove();
    void lstMIDI_GotFocus();
    void lstMIDI_LostFocus();
    // The sound dialog: applies the choice to the device at once and keeps it.
    void mnuSound_Click();
    // A sound problem raised by the device: shown once in a message.
    void MCI_SoundProblem(const QString &text);
    // The volume changed, here or on the bus (the Player's volumeChanged):
    // kept in the settings' [Sound] Gain.
    void keepVolume(double gain);
    // Saving as audio: the selected songs (else the one that plays) into a
    // file or, several, into a folder; the whole playlist into a folder. The
    // render runs on a worker while playback goes on, with a progress dialog.
    void mnuSaveAudio_Click();
    void mnuSaveAlbumAudio_Click();

    // ---- hover highlight and the panel (ui/) ----
    void ClearUnderline();
    void btnConfig_Click();

    // ---- keyboard (ui/Keyboard.cpp; the play keys in player/PlayFlow.cpp) ----
    void playPauseKey(); // Space: play, or pause and resume
    void seekBackKey();  // Left, Right: 5 s back or on, within the song
    void seekForwardKey();
    void previousSongKey(); // Page Up
    void nextSongKey();     // Page Down

    // ---- places ----
    QString programFolder() const { return m_services.programFolder; }
    QString defaultAlbumPath() const;
    QString albumsFolder() const;

    // ---- state (read by tests and by the start-up path) ----
    Settings Global; // the settings, loaded by Form_Load
    bool Seeking = false;
    bool Dragging = false;
    QPointF DragStart;
    // The playlist proper: every entry's full path and title, in play order
    // (playlist/PlaylistModel.h). lstMIDI is a view of it.
    PlaylistModel &lstPlay;
    // What plays, where, and the transport (player/Player.h); created with
    // the window, on its device and playlist.
    Player &player;
    // Sound problems shown since the sound was last chosen (each shown once).
    QStringList SoundProblemsShown;

    // ---- controls ----
    Frame *fraShade;
    ImageButton *img1;
    SongTitle *lblSongName;
    std::array<ImageButton *, 5> imgControls;
    ListBox *lstMIDI;
    Shape *shpBar1;
    Shape *shpBarProg;
    PercentLabel *lblPct;
    Shape *shpLstUp;
    Shape *shpLstDn;
    ImageButton *btnUp;
    ImageButton *btnDn;
    LabelButton *btnRn;
    LabelButton *btnSort;
    LabelButton *btnLoad;
    LabelButton *btnSave;
    LabelButton *btnRemove;
    LabelButton *btnClear;
    LabelButton *btnPlay;
    QLabel *lblHelp;
    Shape *shpConfig;
    LabelButton *btnConfig;
    Frame *fraConfig;
    QLabel *Label1;
    Frame *fraNew;
    std::array<QRadioButton *, 2> optInterrupt;
    QLabel *Label2;
    Frame *fraReset;
    std::array<QRadioButton *, 3> optReset;
    QCheckBox *chkSnap;
    QCheckBox *chkShadeMode;
    QCheckBox *chkTop;
    QCheckBox *chkDefault;

    // The window's popup menu.
    QMenu *mnuMenu;
    QAction *mnuTop;
    QAction *mnuShade;
    QAction *mnuSnap;
    QAction *mnuNewList;
    QAction *mnuNewPlay;
    QAction *mnuMinimize;
    QAction *mnuClose;
    QAction *mnuAbout;
    QAction *mnuSound;
    QAction *mnuSaveAudio;
    // The play menu: albums submenu, then the songs.
    QMenu *mnuPlay;
    QMenu *mnuMAlbums;
    QAction *mnuLoad;
    QAction *mnuSave;
    QAction *mnuSaveAlbumAudio;
    QAction *sep4;
    std::array<QAction *, 5> mnuA; // items 1 to 4; index 0 unused
    SongMenu *songMenu;

    SequencerDevice *MCI;
    Dialogs *dlg;
    SettingsStore *store;

    // Window height in twips and position; the window keeps its 4515-twip width.
    int heightTwips() const;
    void setHeightTwips(int height);
    // Moves the window to WindowX, WindowY; a position off every screen is
    // replaced by the first-run position. Where the compositor places windows
    // it leaves the window where the compositor put it.
    void placeWindow();
    // Where the compositor alone places windows (native Wayland), the title
    // drag asks it to move the window; Snap, On top and the saved position are
    // its own: their options are greyed and say so, and the saved position is
    // kept for a later session that can use it.
    void setCompositorPlacesWindows(bool places);
    // The taskbar placeholder, created on first use.
    frmDummy *dummyForm();
    // The about box while it is open, else nullptr.
    frmAbout *aboutForm() const;

Q_SIGNALS:
    // Raised when the player has closed itself (shutdown done); the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    // The window-wide play keys, for keys the focused control left alone
    // (ui/Keyboard.cpp).
    void keyPressEvent(QKeyEvent *event) override;

private:
    void finishRequestedClose();
    // The folder-scan window, created when it is not loaded.
    frmEnumDir &enumDir();
    // Whether a handler has opened an event loop of its own (a box, a
    // dialog) or a folder scan runs: the playlist is not whole yet.
    bool insideAnotherHandler() const;
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void connectHover();
    void connectKeyboard();
    // The playlist model, owned by the window, and the same model as the
    // list view sees it (both in playlist/Playlist.cpp).
    PlaylistModel &createPlaylist();
    QAbstractItemModel *playlistItems() const;
    // The player, owned by the window, and its signals wired to the window's
    // handlers (player/PlayFlow.cpp).
    Player &createPlayer(SequencerDevice &device);
    void connectPlayer();
    // The words of the song that plays, in the window (player/LyricsView.cpp).
    void connectLyrics();
    // Saving as audio (player/SaveAudio.cpp): the songs the command saves, in
    // playlist order, with their titles; false when there is none.
    bool songsToSave(QStringList &paths, QStringList &titles) const;
    void saveAsAudio(const QStringList &paths, const QStringList &titles, bool intoFolder,
                     const QString &dialogTitle);
    void showAudioProgress(const QStringList &titles, const QString &dialogTitle);

    MainWindowServices m_services;
    frmDummy *m_dummy = nullptr;
    QPointer<frmAbout> m_about; // deletes itself when closed
    frmEnumDir *m_enumDir = nullptr;
    AudioSaver *m_audioSaver = nullptr;        // created on the first save
    QPointer<QProgressDialog> m_audioProgress; // while a save runs
    double m_shadeRestoreHeight = 0;
    bool m_compositorPlacesWindows = false;
    bool m_unloaded = false;
    bool m_closeRequested = false;
    int m_refusedEntries = 0; // new entries refused by the current UpdateOLE
    bool m_eventLoopRunning = false;
    // default.mal was not read whole at the start: it is left as it is.
    bool m_keepDefaultAlbum = false;
};

// The main window's controls: positions, captions, colours, menus, and the
// wiring of every control event to its handler.
#include "ui/frmMain.h"

#include "engine/SequencerDevice.h"
#include "platform/ProgramFiles.h"
#include "platform/WindowSystem.h"
#include "ui/SongMenu.h"
#include "ui/Version.h"
#include "ui/frmAbout.h"
#include "ui/frmDummy.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QShortcut>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr int NormalHeight = 3150;

QCheckBox *checkBox(const QString &caption, QWidget *parent, int left, int top, int width)
{
    auto *box = new QCheckBox(caption, parent);
    placeTwips(box, left, top, width, 240);
    return box;
}

QRadioButton *option(const QString &caption, QWidget *parent, int top)
{
    auto *button = new QRadioButton(caption, parent);
    placeTwips(button, 0, top, parent->width() * TwipsPerPixel, 240);
    return button;
}

QAction *menuItem(QMenu *menu, const QString &caption, bool checkable = false)
{
    QAction *action = menu->addAction(caption);
    action->setCheckable(checkable);
    return action;
}

} // namespace

frmMain::frmMain(const MainWindowServices &services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::Tool), lstPlay(createPlaylist()),
      player(createPlayer(*services.MCI)), MCI(services.MCI), dlg(services.dlg),
      store(services.store), m_services(services)
{
    if (m_services.dataFolder.isEmpty()) {
        const QByteArray folder = QFile::encodeName(m_services.programFolder);
        if (::access(folder.constData(), W_OK) == 0 &&
            !isInstalledProgram(m_services.programFolder))
            m_services.dataFolder = m_services.programFolder;
        else
            m_services.dataFolder =
                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    setWindowTitle(QStringLiteral("Sonabel"));
    setWindowIcon(programIcon());
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Colors::Window);
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);
    setFixedWidth(px(MainWindowWidth));
    setHeightTwips(NormalHeight);

    buildControls();
    buildMenus();
    connectHandlers();
    setCompositorPlacesWindows(compositorPlacesWindows());
}

frmMain::~frmMain()
{
    // The controls outlive this destructor (QWidget deletes them later) and
    // still raise events while they go, focus-out among them: by then the
    // handlers they would call belong to an object that is no longer a frmMain.
    const QList<QWidget *> controls = findChildren<QWidget *>();
    for (QWidget *control : controls)
        control->disconnect(this);
    // The small windows have no parent (they stand alone on the desktop).
    delete m_dummy;
    delete m_about;
}

void frmMain::buildControls()
{
    // Top strip: icon, song title and the transport images.
    fraShade = new Frame(this, Colors::Strip);
    placeTwips(fraShade, 0, 0, 4560, 195);
    img1 = new ImageButton(ImageButton::AppIcon, fraShade);
    placeTwips(img1, 0, 0, 250, 200);
    lblSongName = new SongTitle(QStringLiteral("Sonabel v" SONABEL_VERSION_SHORT), fraShade);
    placeTwips(lblSongName, 315, 0, 3030, 195);
    static const ImageButton::Glyph glyphs[] = {ImageButton::Previous, ImageButton::Play,
                                                ImageButton::Pause, ImageButton::Stop,
                                                ImageButton::Next};
    // The outer two wider; together they end at the window's right edge.
    static const int widths[] = {240, 225, 210, 225, 240};
    int left = 3375;
    for (int i = 0; i < 5; ++i) {
        imgControls[i] = new ImageButton(glyphs[i], fraShade);
        placeTwips(imgControls[i], left, 0, widths[i], 195);
        left += widths[i];
    }

    // The playlist.
    lstMIDI = new ListBox(this, playlistItems());
    placeTwips(lstMIDI, 45, 270, 2490, 2820);
    QPalette listPalette = lstMIDI->palette();
    listPalette.setColor(QPalette::Base, Colors::Lit);
    lstMIDI->setPalette(listPalette);
    lstMIDI->acceptFileDrops();

    // Progress and seek bar.
    shpBar1 = new Shape(this);
    placeTwips(shpBar1, 2655, 270, 1800, 180);
    shpBarProg = new Shape(this, false, false);
    placeTwips(shpBarProg, 2655, 270, 0, 180);
    SetBackColor(shpBarProg, true);
    {
        QPalette barPalette = shpBarProg->palette();
        barPalette.setColor(QPalette::Window, QColor(96, 96, 176));
        shpBarProg->setPalette(barPalette);
    }
    lblPct = new PercentLabel(QStringLiteral("50%"), this, shpBarProg);
    placeTwips(lblPct, 2655, 270, 1815, 225);
    lblPct->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // Arrows on their shapes, and the label buttons.
    shpLstUp = new Shape(this);
    placeTwips(shpLstUp, 2655, 540, 195, 225);
    btnUp = new ImageButton(ImageButton::ArrowUp, this);
    placeTwips(btnUp, 2700, 585, 100, 150);
    shpLstDn = new Shape(this);
    placeTwips(shpLstDn, 2655, 810, 195, 225);
    btnDn = new ImageButton(ImageButton::ArrowDown, this);
    placeTwips(btnDn, 2700, 855, 105, 150);
    auto labelButton = [this](const char *caption, int l, int t, int w, int h) {
        auto *button = new LabelButton(QString::fromLatin1(caption), this);
        placeTwips(button, l, t, w, h);
        return button;
    };
    btnRn = labelButton("R", 2655, 1080, 195, 225);
    btnSort = labelButton("az", 2655, 1350, 195, 225);
    btnLoad = labelButton("Add an album", 2895, 540, 1560, 240);
    btnSave = labelButton("Save this album", 2895, 810, 1560, 225);
    btnRemove = labelButton("Remove from album", 2895, 1080, 1560, 225);
    btnClear = labelButton("Clear album", 2895, 1350, 1560, 225);
    btnPlay = labelButton("Play this MIDI", 2895, 1620, 1560, 225);

    lblHelp = new QLabel(QString(), this);
    placeTwips(lblHelp, 2655, 1935, 1815, 870);
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    shpConfig = new Shape(this, true);
    placeTwips(shpConfig, 2610, 2790, 1860, 420);
    SetBackColor(shpConfig, true);
    shpConfig->hide();
    btnConfig = labelButton("Configuration >>", 2610, 2835, 1860, 240);

    // The configuration panel, cut off by the window's lower edge while closed.
    fraConfig = new Frame(this, Colors::Lit);
    placeTwips(fraConfig, 45, 3150, 4425, 2715);
    // Left: the policy for new entries and the window options; right: the reset.
    Label1 = new QLabel(QStringLiteral("On new entry:"), fraConfig);
    placeTwips(Label1, 90, 90, 2400, 225);
    fraNew = new Frame(fraConfig, Colors::Lit);
    placeTwips(fraNew, 180, 330, 2400, 480);
    optInterrupt[0] = option(QStringLiteral("Add item to playlist"), fraNew, 0);
    optInterrupt[1] = option(QStringLiteral("Interrupt current play"), fraNew, 240);
    optInterrupt[0]->setChecked(true);
    chkSnap = checkBox(QStringLiteral("Snap Sonabel to screen"), fraConfig, 90, 960, 2500);
    chkShadeMode = checkBox(QStringLiteral("Start in Shade Mode"), fraConfig, 90, 1200, 2500);
    chkTop = checkBox(QStringLiteral("Always on top"), fraConfig, 90, 1440, 2500);
    chkDefault = checkBox(QStringLiteral("Set as default Sonabel"), fraConfig, 90, 1680, 2500);
    Label2 = new QLabel(QStringLiteral("Reset MIDI using"), fraConfig);
    placeTwips(Label2, 2700, 90, 1650, 225);
    fraReset = new Frame(fraConfig, Colors::Lit);
    placeTwips(fraReset, 2790, 330, 1560, 720);
    optReset[0] = option(QStringLiteral("None"), fraReset, 0);
    optReset[1] = option(QStringLiteral("General MIDI"), fraReset, 240);
    optReset[2] = option(QStringLiteral("Roland GS"), fraReset, 480);
    optReset[1]->setChecked(true);
}

void frmMain::buildMenus()
{
    mnuMenu = new QMenu(QStringLiteral("Menu"), this);
    mnuTop = menuItem(mnuMenu, QStringLiteral("Always on top"), true);
    mnuShade = menuItem(mnuMenu, QStringLiteral("Shade Mode"), true);
    mnuSnap = menuItem(mnuMenu, QStringLiteral("Snap to top screen"), true);
    mnuMenu->addSeparator();
    mnuNewList = menuItem(mnuMenu, QStringLiteral("New entry to playlist"), true);
    mnuNewPlay = menuItem(mnuMenu, QStringLiteral("New entry to play immediately"), true);
    mnuNewList->setChecked(true);
    mnuMenu->addSeparator();
    mnuSaveAudio = menuItem(mnuMenu, tr("Save as audio ..."));
    mnuMinimize = menuItem(mnuMenu, QStringLiteral("Minimize"));
    mnuClose = menuItem(mnuMenu, QStringLiteral("Close player"));
    mnuMenu->addSeparator();
    mnuSound = menuItem(mnuMenu, QStringLiteral("Sound ..."));
    mnuAbout = menuItem(mnuMenu, QStringLiteral("About ..."));

    mnuPlay = new QMenu(QStringLiteral("PlayMenu"), this);
    mnuMAlbums = mnuPlay->addMenu(QStringLiteral("Albums"));
    mnuLoad = menuItem(mnuMAlbums, QStringLiteral("Load ..."));
    mnuSave = menuItem(mnuMAlbums, QStringLiteral("Save ..."));
    mnuSaveAlbumAudio = menuItem(mnuMAlbums, tr("Save album as audio ..."));
    sep4 = mnuMAlbums->addSeparator();
    mnuA[0] = nullptr;
    for (int i = 1; i <= 4; ++i) {
        mnuA[i] = menuItem(mnuMAlbums, QString(), true);
        mnuA[i]->setVisible(false);
    }
    songMenu = new SongMenu(mnuPlay, lstMIDI->model(), this);
}

void frmMain::connectHandlers()
{
    // Top strip.
    connect(img1, &FlatButton::mouseUp, this, &frmMain::img1_MouseUp);
    connect(img1, &FlatButton::doubleClicked, this, &frmMain::img1_DblClick);
    // The icon's only left-button action is the double click; a key or a
    // screen reader pressing it opens the menu.
    connect(img1, &FlatButton::clicked, this, [this] {
        if (!img1->clickedByMouse())
            img1_KeyMenu();
    });
    connect(lblSongName, &SongTitle::mouseDown, this, &frmMain::lblSongName_MouseDown);
    connect(lblSongName, &SongTitle::mouseMove, this, &frmMain::lblSongName_MouseMove);
    connect(lblSongName, &SongTitle::mouseUp, this, &frmMain::lblSongName_MouseUp);
    connect(lblSongName, &SongTitle::doubleClicked, this, &frmMain::lblSongName_DblClick);
    connect(lblSongName, &SongTitle::menuRequested, this, &frmMain::lblSongName_KeyMenu);
    connect(lblSongName, &SongTitle::filesDropped, this, &frmMain::lstMIDI_OLEDragDrop);
    for (int i = 0; i < 5; ++i) {
        connect(imgControls[i], &FlatButton::clicked, this, [this, i] { imgControls_Click(i); });
        connect(imgControls[i], &FlatButton::doubleClicked, this,
                [this, i] { imgControls_DblClick(i); });
    }

    // Playlist.
    connect(lstMIDI, &ListBox::rowActivated, this, &frmMain::lstMIDI_DblClick);
    connect(lstMIDI, &ListBox::mouseMoved, this, &frmMain::lstMIDI_MouseMove);
    connect(lstMIDI, &ListBox::focusChanged, this,
            [this](bool in) { in ? lstMIDI_GotFocus() : lstMIDI_LostFocus(); });
    connect(lstMIDI, &ListBox::filesDropped, this, &frmMain::lstMIDI_OLEDragDrop);
    // Delete removes the selected entries, like "Remove from album".
    new QShortcut(QKeySequence::Delete, lstMIDI, this, &frmMain::btnRemove_Click,
                  Qt::WidgetShortcut);

    // Seek bar.
    connect(lblPct, &PercentLabel::mouseDown, this, &frmMain::lblPct_MouseDown);
    connect(lblPct, &PercentLabel::mouseMove, this,
            [this](QPointF pos) { lblPct_MouseMove(twips(pos.x())); });
    connect(lblPct, &PercentLabel::mouseUp, this, [this](Qt::MouseButton button, QPointF pos) {
        lblPct_MouseUp(button, twips(pos.x()));
    });
    connect(lblPct, &PercentLabel::stepped, this, &frmMain::lblPct_Step);
    connect(lblPct, &PercentLabel::percentRequested, this, &frmMain::lblPct_SetPercent);

    // Buttons.
    connect(btnUp, &FlatButton::clicked, this, &frmMain::btnUp_Click);
    connect(btnDn, &FlatButton::clicked, this, &frmMain::btnDn_Click);
    connect(btnRn, &FlatButton::clicked, this, &frmMain::btnRn_Click);
    connect(btnSort, &FlatButton::clicked, this, &frmMain::btnSort_Click);
    connect(btnLoad, &FlatButton::clicked, this, &frmMain::btnLoad_Click);
    connect(btnSave, &FlatButton::clicked, this, &frmMain::btnSave_Click);
    connect(btnRemove, &FlatButton::clicked, this, &frmMain::btnRemove_Click);
    connect(btnClear, &FlatButton::clicked, this, &frmMain::btnClear_Click);
    connect(btnPlay, &FlatButton::clicked, this, &frmMain::btnPlay_Click);
    connect(btnConfig, &FlatButton::clicked, this, &frmMain::btnConfig_Click);

    // Configuration panel: a box's handler runs whenever its value changes.
    connect(chkSnap, &QCheckBox::toggled, this, &frmMain::chkSnap_Click);
    connect(chkShadeMode, &QCheckBox::toggled, this, &frmMain::chkShadeMode_Click);
    connect(chkTop, &QCheckBox::toggled, this, &frmMain::chkTop_Click);
    connect(chkDefault, &QCheckBox::toggled, this, &frmMain::chkDefault_Click);
    auto *newGroup = new QButtonGroup(this);
    for (int i = 0; i < 2; ++i)
        newGroup->addButton(optInterrupt[i], i);
    connect(newGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            optInterrupt_Click(id);
    });
    auto *resetGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i)
        resetGroup->addButton(optReset[i], i);
    connect(resetGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            optReset_Click(id);
    });

    // Menus.
    connect(mnuTop, &QAction::triggered, this, &frmMain::mnuTop_Click);
    connect(mnuShade, &QAction::triggered, this, &frmMain::mnuShade_Click);
    connect(mnuSnap, &QAction::triggered, this, &frmMain::mnuSnap_Click);
    connect(mnuNewList, &QAction::triggered, this, &frmMain::mnuNewList_Click);
    connect(mnuNewPlay, &QAction::triggered, this, &frmMain::mnuNewPlay_Click);
    connect(mnuMinimize, &QAction::triggered, this, &frmMain::mnuMinimize_Click);
    connect(mnuClose, &QAction::triggered, this, &frmMain::mnuClose_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(mnuSound, &QAction::triggered, this, &frmMain::mnuSound_Click);
    connect(mnuSaveAudio, &QAction::triggered, this, &frmMain::mnuSaveAudio_Click);
    connect(mnuSaveAlbumAudio, &QAction::triggered, this, &frmMain::mnuSaveAlbumAudio_Click);
    connect(mnuLoad, &QAction::triggered, this, &frmMain::mnuLoad_Click);
    connect(mnuSave, &QAction::triggered, this, &frmMain::mnuSave_Click);
    for (int i = 1; i <= 4; ++i)
        connect(mnuA[i], &QAction::triggered, this, [this, i] { mnuA_Click(i); });
    connect(songMenu, &SongMenu::songChosen, this, &frmMain::mnuMID_Click);

    // What the player and the sound say.
    connectPlayer();
    connect(MCI, &SequencerDevice::SoundProblem, this, &frmMain::MCI_SoundProblem);

    connectHover();
    connectKeyboard();
}

int frmMain::heightTwips() const
{
    return height() * TwipsPerPixel;
}

void frmMain::setHeightTwips(int height)
{
    // A resize also sends the position the toolkit believes in; make it true.
    if (isVisible())
        refreshWindowPosition(this);
    setFixedHeight(px(height));
}

QString frmMain::defaultAlbumPath() const
{
    return m_services.dataFolder + QDir::separator() + QStringLiteral("default.mal");
}

QString frmMain::albumsFolder() const
{
    return m_services.dataFolder + QDir::separator() + QStringLiteral("Albums");
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The window system closing the window ends the player like "Close player",
    // once whatever runs inside a handler has come back.
    event->ignore();
    requestClose();
}

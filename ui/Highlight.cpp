// Hover highlight of the label buttons, the help line, and the panel toggle.
#include "ui/frmMain.h"

namespace {

constexpr int ClosedHeight = 3150;
constexpr int OpenHeight = 5955;

} // namespace

void frmMain::ClearUnderline()
{
    for (QWidget *control :
         std::initializer_list<QWidget *>{btnClear, btnLoad, btnPlay, btnRemove, btnSave, btnConfig,
                                          shpLstDn, shpLstUp, btnRn, btnSort})
        SetBackColor(control, false);
}

void frmMain::connectHover()
{
    struct Hover
    {
        ControlEvents *events;
        QWidget *lit;
        const char *help;
    };
    const Hover hovers[] = {
        {btnUp->events(), shpLstUp, "Move the selected song up"},
        {btnDn->events(), shpLstDn, "Move the selected song down"},
        {btnRn->events(), btnRn, "Randomize playlist"},
        {btnSort->events(), btnSort, "Sort playlist by its directory"},
        {btnLoad->events(), btnLoad, "Add an album to the existing album"},
        {btnSave->events(), btnSave, "Save this album under a new name or replace existing name"},
        {btnRemove->events(), btnRemove, "Remove MIDI(es) selected at listbox from album"},
        {btnClear->events(), btnClear, "Clear the album"},
        {btnPlay->events(), btnPlay, "Play the MIDI selected at the listbox"},
        {btnConfig->events(), btnConfig, "Click this to configure the Sonabel options"},
    };
    for (const Hover &hover : hovers) {
        QWidget *lit = hover.lit;
        const QString help = QString::fromLatin1(hover.help);
        connect(hover.events, &ControlEvents::MouseMove, this, [this, lit, help] {
            ClearUnderline();
            SetBackColor(lit, true);
            lblHelp->setText(help);
            lblHelp->setVisible(true);
        });
    }
    auto *formEvents = new ControlEvents(this);
    connect(formEvents, &ControlEvents::MouseMove, this, &frmMain::Form_MouseMove);
    connect(lblHelp->events(), &ControlEvents::MouseMove, this, &frmMain::Form_MouseMove);
    connect(fraConfig->events(), &ControlEvents::MouseMove, this, &frmMain::ClearUnderline);
    connect(fraNew->events(), &ControlEvents::MouseMove, this, &frmMain::ClearUnderline);
}

void frmMain::btnConfig_Click()
{
    if (shpConfig->isHidden()) {
        btnConfig->setText(QStringLiteral("<< Configuration"));
        setHeightTwips(OpenHeight);
        btnConfig->setOpaqueBordered(false);
        shpConfig->show();
    } else {
        btnConfig->setText(QStringLiteral("Configuration >>"));
        setHeightTwips(ClosedHeight);
        btnConfig->setOpaqueBordered(true);
        shpConfig->hide();
    }
}

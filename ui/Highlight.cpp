// Hover highlight of the label buttons, the help line, and the panel toggle.
// A button the keyboard focus comes to lights and explains itself the same way.
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
        FlatButton *button;
        QWidget *lit;
        QString help;
    };
    const Hover hovers[] = {
        {btnUp, shpLstUp, tr("Move the selected song up")},
        {btnDn, shpLstDn, tr("Move the selected song down")},
        {btnRn, btnRn, tr("Randomize playlist")},
        {btnSort, btnSort, tr("Sort playlist by its directory")},
        {btnLoad, btnLoad, tr("Add an album to the existing album")},
        {btnSave, btnSave, tr("Save this album under a new name or replace existing name")},
        {btnRemove, btnRemove, tr("Remove MIDI(es) selected at listbox from album")},
        {btnClear, btnClear, tr("Clear the album")},
        {btnPlay, btnPlay, tr("Play the MIDI selected at the listbox")},
        {btnConfig, btnConfig, tr("Click this to configure the Sonabel options")},
    };
    for (const Hover &hover : hovers) {
        QWidget *lit = hover.lit;
        const QString help = hover.help;
        const auto light = [this, lit, help] {
            ClearUnderline();
            SetBackColor(lit, true);
            lblHelp->setText(help);
            lblHelp->setVisible(true);
        };
        connect(hover.button, &FlatButton::hovered, this, light);
        connect(hover.button, &FlatButton::focused, this, light);
    }
    onMouseMove(this, [this] { Form_MouseMove(); });
    onMouseMove(lblHelp, [this] { Form_MouseMove(); });
    connect(fraConfig, &Frame::mouseMoved, this, &frmMain::ClearUnderline);
    connect(fraNew, &Frame::mouseMoved, this, &frmMain::ClearUnderline);
}

void frmMain::btnConfig_Click()
{
    // The closed panel lies below the window's edge; hidden, Tab passes it by.
    if (shpConfig->isHidden()) {
        btnConfig->setText(tr("<< Configuration"));
        setHeightTwips(OpenHeight);
        btnConfig->setOpaqueBordered(false);
        shpConfig->show();
        fraConfig->show();
    } else {
        btnConfig->setText(tr("Configuration >>"));
        setHeightTwips(ClosedHeight);
        btnConfig->setOpaqueBordered(true);
        shpConfig->hide();
        fraConfig->hide();
    }
}

// The about box and its roll animation.
#include "ui/frmAbout.h"

#include "engine/SequencerDevice.h"
#include "ui/Controls.h"
#include "ui/Version.h"
#include "ui/frmMain.h"

#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

constexpr int RestTop = 240;
constexpr int RestHeight = 600;
constexpr int Step = 100;
constexpr int FirstWaitMs = 500;
constexpr int BetweenRollsMs = 3000;
constexpr int StepMs = 10;

} // namespace

frmAbout::frmAbout(const QString &output) : QWidget(nullptr, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Sonabel"));
    setWindowIcon(programIcon());
    setFixedSize(px(4695), px(2550));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Colors::Window);
    setPalette(pal);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    placeTwips(Image1, 300, 180, 480, 480);
    Image1->setPixmap(programIcon().pixmap(Image1->size()));
    Label3 = new QLabel(QStringLiteral("Sonabel v" SONABEL_VERSION), this);
    QFont bold = Label3->font();
    bold.setBold(true);
    bold.setPixelSize(14);
    Label3->setFont(bold);
    placeTwips(Label3, 960, 120, 3555, 330);
    Label2 = new QLabel(QStringLiteral("Free software by the Sonabel developers"), this);
    placeTwips(Label2, 960, 480, 3555, 240);

    auto *line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    placeTwips(line, 240, 810, 4260, 60);
    Line1 = line;

    fraInfo = new QGroupBox(QStringLiteral("Author"), this);
    placeTwips(fraInfo, 180, 960, 4395, 1035);
    txtData = new QPlainTextEdit(fraInfo);
    txtData->setReadOnly(true);
    txtData->setFrameStyle(QFrame::NoFrame);
    txtData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtData->setFocusPolicy(Qt::NoFocus);
    txtData->setTextInteractionFlags(Qt::TextSelectableByMouse);
    txtData->document()->setDocumentMargin(1);
    QPalette textPalette = txtData->palette();
    textPalette.setColor(QPalette::Base, Colors::Window);
    txtData->setPalette(textPalette);

    // What plays: the synthesizer and its SoundFont, or the port.
    lblOutput = new QLabel(this);
    placeTwips(lblOutput, 180, 2160, 3780, 225);
    const QString shown = output.isEmpty() ? QStringLiteral("Output: unknown") : output;
    lblOutput->setText(
        lblOutput->fontMetrics().elidedText(shown, Qt::ElideMiddle, lblOutput->width()));
    lblOutput->setToolTip(shown);

    btnClose = new LabelButton(QStringLiteral("Close"), this);
    placeTwips(btnClose, 4020, 2160, 585, 225);
    btnClose->setAccessibleDescription(QStringLiteral("Close the about box"));

    tmeChange = new QTimer(this);
    tmeClear = new QTimer(this);
    tmeClear->setTimerType(Qt::PreciseTimer);

    connect(tmeChange, &QTimer::timeout, this, &frmAbout::tmeChange_Timer);
    connect(tmeClear, &QTimer::timeout, this, &frmAbout::tmeClear_Timer);
    connect(btnClose, &FlatButton::clicked, this, &frmAbout::btnClose_Click);
    connect(btnClose, &FlatButton::hovered, this, &frmAbout::btnClose_MouseMove);
    onMouseMove(this, [this] { Form_MouseMove(); });
    onMouseMove(fraInfo, [this] { fraInfo_MouseMove(); });
    // The one control a key reaches: Return or Space closes the box.
    btnClose->setFocusPolicy(Qt::StrongFocus);
    btnClose->setFocus();

    Form_Load();
}

void frmAbout::Form_Load()
{
    AuthorText =
        QStringLiteral("The Sonabel developers\r\n" SONABEL_HOMEPAGE "\r\n" SONABEL_CONTACT);
    fraInfo->setTitle(QStringLiteral("Author"));
    txtData->setPlainText(QString(AuthorText).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    setTextBox(RestTop, RestHeight);
}

bool frmAbout::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void frmAbout::Form_Activate()
{
    // Each activation restarts the wait before the next roll.
    tmeChange->start(FirstWaitMs);
}

void frmAbout::tmeChange_Timer()
{
    tmeClear->start(StepMs);
    tmeChange->stop();
    Expanding = false;
}

void frmAbout::tmeClear_Timer()
{
    if (!Expanding) {
        // Rolling up: the lower edge stays where it is.
        setTextBox(m_textTop + Step, m_textHeight - Step);
        if (m_textHeight < 200) {
            setTextBox(640, m_textHeight);
            Expanding = true;
            fraInfo->setTitle(QStringLiteral("Author"));
            txtData->setPlainText(
                QString(AuthorText).replace(QLatin1String("\r\n"), QLatin1String("\n")));
        }
    } else {
        setTextBox(m_textTop - Step, m_textHeight + Step);
        if (m_textHeight > RestHeight) {
            tmeClear->stop();
            tmeChange->start(BetweenRollsMs);
            setTextBox(RestTop, m_textHeight);
        }
    }
}

void frmAbout::setTextBox(int top, int height)
{
    m_textTop = top;
    m_textHeight = height;
    placeTwips(txtData, 240, top, 4035, height);
}

void frmAbout::btnClose_Click()
{
    close();
}

void frmAbout::btnClose_MouseMove()
{
    SetBackColor(btnClose, true);
}

void frmAbout::Form_MouseMove()
{
    SetBackColor(btnClose, false);
}

void frmAbout::fraInfo_MouseMove()
{
    SetBackColor(btnClose, false);
}

void frmMain::mnuAbout_Click()
{
    if (!m_about)
        m_about = new frmAbout(MCI->outputDescription());
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

frmAbout *frmMain::aboutForm() const
{
    return m_about;
}

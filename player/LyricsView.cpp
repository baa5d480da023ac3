// The words of the song in the window: the line being sung shows in the help
// line's place, and in shade mode over the song title. A control's help wins
// while the pointer is in the window and the help line shows; the title comes
// back whenever no line is sung. A song without words leaves the window as it
// was.
#include "player/LyricFollower.h"
#include "ui/LyricLabel.h"
#include "ui/frmMain.h"

#include <QEvent>
#include <QPointer>

namespace {

// Keeps the two lines where the help line and the title are, and shows the
// one that belongs: it watches the window (pointer in or out, shaded or not)
// and the help line (shown or hidden). The window's controls go one by one
// as it closes, and may raise events as they go: what is gone is left alone.
class LyricPlaces : public QObject
{
public:
    LyricPlaces(frmMain &window, LyricFollower &follower, LyricLabel &inWindow, LyricLabel &inStrip)
        : QObject(&window), m_window(window), m_follower(&follower), m_inWindow(&inWindow),
          m_inStrip(&inStrip), m_help(window.lblHelp), m_title(window.lblSongName),
          m_strip(window.fraShade), m_pointerInside(window.underMouse())
    {
        m_window.installEventFilter(this);
        m_help->installEventFilter(this);
        m_title->installEventFilter(this);
        place();
        connect(m_follower, &LyricFollower::changed, this, [this] {
            if (!whole())
                return;
            m_inWindow->setLine(m_follower->text(), m_follower->sung());
            m_inStrip->setLine(m_follower->text(), m_follower->sung());
            arrange();
        });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::Leave:
            if (watched == &m_window) {
                m_pointerInside = event->type() == QEvent::Enter;
                arrange();
            }
            break;
        case QEvent::ShowToParent: // the help line
        case QEvent::HideToParent:
            arrange();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (watched == &m_window)
                arrange(); // shaded or not
            else
                place();
            break;
        default:
            break;
        }
        return false;
    }

private:
    bool whole() const
    {
        return m_follower && m_inWindow && m_inStrip && m_help && m_title && m_strip;
    }

    void place()
    {
        if (!whole())
            return;
        m_inWindow->setGeometry(m_help->geometry());
        m_inStrip->setGeometry(m_title->geometry());
    }

    void arrange()
    {
        if (!whole())
            return;
        const bool words = !m_follower->text().isEmpty();
        const bool shaded = m_window.height() <= m_strip->height();
        const bool helpShows = !m_help->isHidden();
        m_inWindow->setVisible(words && !shaded && !(helpShows && m_pointerInside));
        m_inStrip->setVisible(words && shaded);
    }

    frmMain &m_window; // outlives this: a child of it
    QPointer<LyricFollower> m_follower;
    QPointer<LyricLabel> m_inWindow;
    QPointer<LyricLabel> m_inStrip;
    QPointer<QWidget> m_help;
    QPointer<QWidget> m_title;
    QPointer<QWidget> m_strip;
    bool m_pointerInside;
};

} // namespace

void frmMain::connectLyrics()
{
    auto *follower = new LyricFollower(player, this);
    auto *inWindow = new LyricLabel(LyricLabel::Layout::Wrapped, Colors::Window, this);
    inWindow->setObjectName(QStringLiteral("lblLyric"));
    inWindow->setFont(lblHelp->font());
    auto *inStrip =
        new LyricLabel(LyricLabel::Layout::OneRow, Colors::Strip, lblSongName->parentWidget());
    inStrip->setObjectName(QStringLiteral("lblShadeLyric"));
    inStrip->setFont(lblSongName->font());
    for (LyricLabel *line : {inWindow, inStrip})
        line->hide();
    // An empty help line shows nothing either way; hidden, its first help
    // is seen to come.
    if (lblHelp->text().isEmpty())
        lblHelp->hide();
    new LyricPlaces(*this, *follower, *inWindow, *inStrip);
}

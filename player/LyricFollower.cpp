// The line of the song's words at the song's position; see LyricFollower.h.
#include "player/LyricFollower.h"

#include "engine/Lyrics.h"
#include "player/Player.h"

#include <algorithm>

LyricFollower::LyricFollower(Player &player, QObject *parent) : QObject(parent), m_player(player)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LyricFollower::update);
    connect(&m_player, &Player::trackChanged, this, &LyricFollower::update);
    connect(&m_player, &Player::stateChanged, this, &LyricFollower::update);
    connect(&m_player, &Player::seeked, this, &LyricFollower::update);
    // Once a second: catches what no signal tells (an output chosen anew, a
    // song's end while ringing out).
    connect(&m_player, &Player::positionChanged, this, &LyricFollower::update);
}

LyricFollower::~LyricFollower() = default;

void LyricFollower::update()
{
    m_timer.stop();
    const Player::State state = m_player.state();
    // A song still opening has no words yet; what the device holds is the
    // last song's at most.
    m_lyrics = state == Player::State::Opening ? nullptr : m_player.lyrics();
    const qint64 position = m_player.positionMs();
    const qint64 length = m_player.lengthMs();
    const bool sounding = m_lyrics && !m_lyrics->empty() && position < length;

    LyricPosition at;
    if (sounding)
        at = m_lyrics->at(position);
    QString text;
    int sung = 0;
    if (at.line >= 0) {
        const LyricLine &line = m_lyrics->lines()[std::size_t(at.line)];
        // Lines are short (Lyrics::MaxLineBytes): converting them is cheap.
        text = at.line == m_line ? m_text : QString::fromStdString(line.text);
        sung =
            int(QString::fromUtf8(line.text.data(), qsizetype(std::min(at.sung, line.text.size())))
                    .size());
    }
    m_line = at.line;
    if (text != m_text || sung != m_sung) {
        m_text = text;
        m_sung = sung;
        Q_EMIT changed();
    }

    if (!sounding || state == Player::State::Paused)
        return;
    // The next change, or the end of the song, where the line goes.
    const qint64 next = m_lyrics->nextChange(position);
    const qint64 due = next >= 0 ? std::min(next, length) : length;
    m_timer.start(int(std::clamp<qint64>(due - position, 1, 24 * 3600 * 1000)));
}

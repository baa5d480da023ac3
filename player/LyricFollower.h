// Which line of a song's words shows, and how much of it is sung, as the
// Player plays: the line at the song's position, moved on by a single-shot
// timer set for the next change (a syllable sung, a line begun), never by
// polling. A seek, a pause, a resume, a stop and a song change show the line
// of the new place at once: none while nothing is open or the song is still
// opening, before its first line and from its end on.
//
// The timer is only a guess at when the song gets there (a song starts after
// its reset, a seek a little after the command): when it fires the position
// is read again, and a timer that fired early is set again for what is left.
// The words follow what sounds, so a song that plays on after the playlist
// lost it (the Player marked stopped) keeps its words.
//
// Threads: the window's.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class Lyrics;
class Player;

class LyricFollower : public QObject
{
    Q_OBJECT
public:
    explicit LyricFollower(Player &player, QObject *parent = nullptr);
    ~LyricFollower() override;

    // The line that shows; empty for none.
    QString text() const { return m_text; }
    // How much of it is sung, in UTF-16 code units from its start.
    int sung() const { return m_sung; }

    // Reads the song's words and position again and shows what belongs there
    // (the Player's signals call it; so does the timer).
    void update();

Q_SIGNALS:
    // text() or sung() changed.
    void changed();

private:
    Player &m_player;
    std::shared_ptr<const Lyrics> m_lyrics;
    int m_line = -1;
    QString m_text;
    int m_sung = 0;
    QTimer m_timer;
};

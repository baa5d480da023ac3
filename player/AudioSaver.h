// Saving songs as audio files while the player goes on: the songs render one
// after another on a worker thread (a RenderJob each, itself on every core),
// and their progress comes back to the window's thread as signals. Also the
// names the files get.
//
// Threads: the object lives on the window's thread and raises its signals
// there, queued from the worker. cancel() stops the running song within a
// block of audio (its unfinished file removed) and starts no other; the
// destructor cancels and waits for the worker, so nothing outlives the object.
#pragma once

#include "engine/RenderJob.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The name a song saved into a folder gets: its number in the lot (from 1)
// at least two digits wide, as wide as the count's, a blank, then the title,
// then ".flac": "01 Title.flac". Characters that some file system refuses in
// a name (/ \ : * ? " < > | and control characters) become "_", blanks and
// dots at the ends of the title go, and a long title is cut so that the name
// stays within the 255 bytes a file name may have. An empty title leaves the
// number alone: "01.flac".
QString numberedAudioName(int number, int count, const QString &title);

// A name a save dialog returned, with ".flac" added unless it ends in .flac,
// .ogg or .wav (in any letter case), the formats a song is saved in.
QString withAudioExtension(const QString &path);

class AudioSaver : public QObject
{
    Q_OBJECT
public:
    explicit AudioSaver(QObject *parent = nullptr);
    ~AudioSaver() override;
    AudioSaver(const AudioSaver &) = delete;
    AudioSaver &operator=(const AudioSaver &) = delete;

    // Starts saving the songs, in order. False, and nothing started, while a
    // save runs or with no song.
    bool start(std::vector<RenderRequest> requests);
    // Ends the save: the running song stops at once and leaves no file, the
    // songs saved before it stay. finished() follows.
    void cancel();
    // From start() until finished() is raised.
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    // Song index (of the requests) begins.
    void songStarted(int index);
    // A few times a second: the fraction of the song done, and the seconds
    // left for it (below 0 while there is no estimate yet).
    void progressed(int index, double fraction, double secondsLeft);
    // The save ended: the first `saved` songs are saved; outcome is that of
    // the last song run (Saved when all were), error says which file failed
    // and why.
    void finished(int saved, RenderJob::Outcome outcome, const QString &error);

private:
    void work(std::vector<RenderRequest> requests);
    void done(int saved, RenderJob::Outcome outcome, const QString &error);

    bool m_running = false;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::mutex m_jobLock; // guards m_job
    std::shared_ptr<RenderJob> m_job;
};

// Songs read on a worker; the thread model is in SongOpener.h.
#include "engine/SongOpener.h"

#include "engine/MidiFile.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

struct SongOpener::Shared
{
    struct Request
    {
        std::uint64_t id = 0;
        std::filesystem::path song;
        std::filesystem::path prelude;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Request> waiting; // the next to read
    std::uint64_t lastId = 0;
    std::uint64_t wanted = 0; // the request whose result is still wanted; 0: none
    // The last result handed to ready, for waitFor(): the timelines as weak
    // pointers, so that nothing here keeps a song alive.
    std::uint64_t delivered = 0;
    std::weak_ptr<const Timeline> deliveredSong;
    std::weak_ptr<const Timeline> deliveredPrelude;
    std::weak_ptr<const Lyrics> deliveredLyrics;
    std::string deliveredError;
    std::function<void(Result)> ready; // empty once the opener is gone
    bool quit = false;
};

SongOpener::SongOpener(std::function<void(Result)> ready) : m_shared(std::make_shared<Shared>())
{
    m_shared->ready = std::move(ready);
    // The worker keeps the shared state alive; it may outlive this object.
    std::thread([shared = m_shared] { run(shared); }).detach();
}

SongOpener::~SongOpener()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
        m_shared->ready = nullptr;
        m_shared->wanted = 0;
        m_shared->waiting.reset();
    }
    m_shared->changed.notify_all();
}

std::uint64_t SongOpener::request(std::filesystem::path song, std::filesystem::path prelude)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        id = ++m_shared->lastId;
        m_shared->waiting = Shared::Request{id, std::move(song), std::move(prelude)};
        m_shared->wanted = id;
    }
    m_shared->changed.notify_all();
    return id;
}

void SongOpener::cancel()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->wanted = 0;
    m_shared->waiting.reset();
}

std::optional<SongOpener::Result> SongOpener::waitFor(std::uint64_t id)
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait(lock,
                           [&] { return m_shared->delivered == id || m_shared->wanted != id; });
    if (m_shared->delivered != id)
        return std::nullopt;
    // The result is on its way to the ready callback's receiver, which keeps
    // the timelines alive; it is taken here instead.
    m_shared->wanted = 0;
    return Result{id, m_shared->deliveredSong.lock(), m_shared->deliveredError,
                  m_shared->deliveredLyrics.lock(), m_shared->deliveredPrelude.lock()};
}

void SongOpener::run(const std::shared_ptr<Shared> &shared) noexcept
{
    for (;;) {
        Shared::Request request;
        {
            std::unique_lock lock(shared->mutex);
            shared->changed.wait(lock, [&] { return shared->quit || shared->waiting; });
            if (shared->quit)
                return;
            request = std::move(*shared->waiting);
            shared->waiting.reset();
        }
        const auto stillWanted = [&] {
            std::lock_guard lock(shared->mutex);
            return !shared->quit && shared->wanted == request.id;
        };
        Result result = read(request.song, request.prelude, stillWanted);
        result.id = request.id;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->quit || shared->wanted != request.id || !shared->ready)
                continue; // cancelled or replaced meanwhile
            shared->delivered = request.id;
            shared->deliveredSong = result.song;
            shared->deliveredPrelude = result.prelude;
            shared->deliveredLyrics = result.lyrics;
            shared->deliveredError = result.error;
            shared->ready(std::move(result));
        }
        shared->changed.notify_all();
    }
}

SongOpener::Result SongOpener::read(const std::filesystem::path &song,
                                    const std::filesystem::path &prelude,
                                    const std::function<bool()> &stillWanted)
{
    Result result;
    try {
        const MidiFile file = MidiFile::load(song);
        if (!file.ok()) {
            result.error = file.error();
            return result;
        }
        // A song no longer wanted is not built: that is most of the time.
        if (!stillWanted())
            return result;
        result.song = Timeline::build(file);
        result.lyrics = std::make_shared<const Lyrics>(Lyrics::read(file, result.song->tempoMap()));
        if (!prelude.empty()) {
            const MidiFile reset = MidiFile::load(prelude);
            if (reset.ok())
                result.prelude = Timeline::build(reset);
        }
    } catch (const std::bad_alloc &) {
        result.song.reset();
        result.lyrics.reset();
        result.error = "there is not enough memory to open it";
    } catch (const std::exception &e) {
        result.song.reset();
        result.lyrics.reset();
        result.error = e.what();
    }
    return result;
}

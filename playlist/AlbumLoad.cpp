// The album loader's worker and its hand-over to the window's thread.
#include "playlist/AlbumLoad.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Small pieces, so that a cancel is seen soon and the progress moves.
constexpr qint64 PieceBytes = 256 * 1024;

} // namespace

AlbumLoadPolicy &albumLoadPolicy()
{
    static AlbumLoadPolicy policy;
    return policy;
}

PlaylistModel::Batch takeAlbumEntries(AlbumReadResult &album)
{
    PlaylistModel::Batch batch;
    if (album.outOfMemory)
        return batch;
    try {
        batch.adopt(album.entries.takeBytes());
    } catch (const std::bad_alloc &) {
        album.entries = AlbumEntries();
        album.outOfMemory = true;
        batch = PlaylistModel::Batch();
    }
    return batch;
}

// What the worker and the window's thread share. The worker owns the reader
// and writes the outcome; `done` (under the mutex) hands the outcome over.
struct AlbumLoad::Shared
{
    std::unique_ptr<AlbumReader> reader;
    std::atomic<bool> cancel{false};
    std::atomic<qint64> bytesRead{0};
    std::atomic<qint64> found{0};
    mutable std::mutex mutex;
    mutable std::condition_variable ended;
    bool done = false;
    Outcome outcome;

    void run()
    {
        Outcome result;
        try {
            while (!cancel.load(std::memory_order_relaxed) && reader->readSome(PieceBytes)) {
                bytesRead.store(reader->position(), std::memory_order_relaxed);
                found.store(reader->found(), std::memory_order_relaxed);
            }
            bytesRead.store(reader->position(), std::memory_order_relaxed);
            found.store(reader->found(), std::memory_order_relaxed);
            result.read = reader->take();
            reader.reset();
            if (!cancel.load(std::memory_order_relaxed))
                result.entries = takeAlbumEntries(result.read);
        } catch (const std::bad_alloc &) {
            result = Outcome();
            result.read.opened = true;
            result.read.outOfMemory = true;
        }
        if (cancel.load(std::memory_order_relaxed))
            result = Outcome(); // freed here, on the worker
        const std::lock_guard lock(mutex);
        outcome = std::move(result);
        done = true;
        ended.notify_all();
    }
};

AlbumLoad::AlbumLoad(std::unique_ptr<AlbumReader> reader) : m_shared(std::make_shared<Shared>())
{
    m_size = reader->size();
    m_shared->reader = std::move(reader);
    // The thread holds the shared state, so it may outlive this object.
    try {
        std::thread([shared = m_shared] { shared->run(); }).detach();
    } catch (const std::system_error &) {
        m_shared->run(); // no thread to be had: read here, as a small album is
    }
}

AlbumLoad::~AlbumLoad()
{
    cancel();
}

bool AlbumLoad::finished() const
{
    const std::lock_guard lock(m_shared->mutex);
    return m_shared->done;
}

bool AlbumLoad::waitFinished(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->ended.wait_for(lock, timeout, [this] { return m_shared->done; });
}

void AlbumLoad::cancel()
{
    m_shared->cancel.store(true, std::memory_order_relaxed);
    // An outcome already handed over is freed now.
    const std::lock_guard lock(m_shared->mutex);
    m_shared->outcome = Outcome();
}

bool AlbumLoad::cancelled() const
{
    return m_shared->cancel.load(std::memory_order_relaxed);
}

qint64 AlbumLoad::bytesRead() const
{
    return m_shared->bytesRead.load(std::memory_order_relaxed);
}

qint64 AlbumLoad::entriesFound() const
{
    return m_shared->found.load(std::memory_order_relaxed);
}

AlbumLoad::Outcome AlbumLoad::take()
{
    const std::lock_guard lock(m_shared->mutex);
    if (!m_shared->done || cancelled())
        return Outcome();
    return std::move(m_shared->outcome);
}

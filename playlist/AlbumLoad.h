// Reading an album on a worker thread, into entries ready for the playlist.
//
// The worker reads the album piece by piece (AlbumReader), publishes how far
// it has come, and at the end turns what it kept into a PlaylistModel::Batch
// without copying the paths: what the load holds stays about the album's size
// all the way. The window's thread asks how far it is, waits for the end only
// with a bound, and takes the outcome once the load has ended. Cancelling (or
// dropping the load) never waits for the worker: a worker stuck in a slow
// file system ends on its own later and frees what it read.
//
// Plain code: no widgets. Exceptions never leave the worker; running out of
// memory there ends the load as outOfMemory with no entries.
#pragma once

#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"

#include <chrono>
#include <memory>

// Which albums the window reads on its own thread (up to inlineUpTo bytes: a
// few thousand lines, read in a few milliseconds), and how long it waits for
// a worker's load before showing its progress, so that a load that ends soon
// never flickers. Tests change it.
struct AlbumLoadPolicy
{
    qint64 inlineUpTo = 64 * 1024;
    std::chrono::milliseconds quietWait{40};
};
AlbumLoadPolicy &albumLoadPolicy();

// Turns what a reading kept into playlist entries, emptying album.entries.
// Out of memory: album.outOfMemory is set and the batch left empty.
PlaylistModel::Batch takeAlbumEntries(AlbumReadResult &album);

class AlbumLoad
{
public:
    // Starts reading the album that reader has open.
    explicit AlbumLoad(std::unique_ptr<AlbumReader> reader);
    // Cancels the load if it still runs; never waits for the worker.
    ~AlbumLoad();
    AlbumLoad(const AlbumLoad &) = delete;
    AlbumLoad &operator=(const AlbumLoad &) = delete;

    // True once the worker is done (read to the end, failed, or stopped by a
    // cancel); then take() is ready.
    bool finished() const;
    // Waits at most timeout for the worker to be done; true when it is.
    bool waitFinished(std::chrono::milliseconds timeout) const;
    // Asks the worker to stop; what it read is dropped.
    void cancel();
    bool cancelled() const;

    qint64 size() const { return m_size; } // the file's size when opened
    qint64 bytesRead() const;              // how far the worker has come
    qint64 entriesFound() const;           // entries kept so far

    struct Outcome
    {
        AlbumReadResult read;         // its entries already taken into `entries`
        PlaylistModel::Batch entries; // empty when cancelled or out of memory
    };
    // The outcome, once finished() and not cancelled; else an empty outcome.
    Outcome take();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    qint64 m_size = 0;
};

// Reads songs on a thread of its own, so that opening a big song (seconds for
// millions of events) never holds up the thread that asks for it. Plain C++.
//
// Threads: request(), cancel() and waitFor() come from one thread (the
// device's). The worker reads one request at a time; a request made while it
// reads replaces any that waits, so a burst of requests reads only the one in
// progress and the last. Results go to the ready callback on the worker
// thread, and only for the request still wanted: a cancelled or replaced one
// is dropped (its song is read to the end, since reading cannot stop halfway,
// but it is never delivered). The callback must only post the result
// elsewhere; it runs with the opener's lock held, so that the destructor
// knows it is not running.
//
// The destructor does not wait for a read in progress: the worker finishes
// it, drops the result and ends by itself, so that closing the player never
// waits for a big song. No exception leaves the worker: a failure is a
// result with an error.
#pragma once

#include "engine/Lyrics.h"
#include "engine/Timeline.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class SongOpener
{
public:
    struct Result
    {
        std::uint64_t id = 0;
        // Null when the song cannot be played; error says why.
        std::shared_ptr<const Timeline> song;
        std::string error;
        // The song's words, with it.
        std::shared_ptr<const Lyrics> lyrics;
        // Null when none was asked for or it cannot be read.
        std::shared_ptr<const Timeline> prelude;
    };

    explicit SongOpener(std::function<void(Result)> ready);
    ~SongOpener();
    SongOpener(const SongOpener &) = delete;
    SongOpener &operator=(const SongOpener &) = delete;

    // Starts reading song (and prelude, when not empty) after the read in
    // progress; returns the id its result will carry. Any earlier request is
    // no longer wanted.
    std::uint64_t request(std::filesystem::path song, std::filesystem::path prelude);
    // No request is wanted any more: no result comes for any of them.
    void cancel();
    // Blocks until the result of request id is read and returns it; nothing
    // when id is no longer wanted. The result may have gone to the ready
    // callback as well: its receiver must drop it (it is no longer wanted).
    std::optional<Result> waitFor(std::uint64_t id);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared> &shared) noexcept;
    static Result read(const std::filesystem::path &song, const std::filesystem::path &prelude,
                       const std::function<bool()> &stillWanted);

    std::shared_ptr<Shared> m_shared;
};

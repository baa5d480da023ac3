// Opening files without ever blocking on them: only regular files are read or
// written. A FIFO, a device or a socket standing where a song or an album is
// expected would block open() or read() for as long as nobody writes to it,
// and with it the window's thread. Plain POSIX, no Qt. Every error argument
// may be null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Opens path read-only when it names a regular file (links followed): the open
// itself cannot block (O_NONBLOCK), the type is checked on the open descriptor
// (so the file cannot be swapped between a check and the open), and reads are
// blocking again afterwards. Returns the descriptor, or -1 with *error saying
// why.
int openRegularFile(const char *path, std::string *error);

// Whether path names a regular file (links followed), found out without ever
// blocking: a FIFO or a device is opened without waiting and never read. For
// a file another library opens by name (a SoundFont), which would block.
bool isRegularFile(const char *path, std::string *error);

// Whether a file may be created or replaced at path by a writer that opens it
// by name: nothing is there yet, or a regular file is. A FIFO there would
// block that open until something reads it.
bool mayWriteRegularFile(const char *path, std::string *error);

// Reads a whole regular file of at most maxBytes. False with *error set when it
// cannot be opened, is not a regular file, is larger, or a read fails.
bool readRegularFile(const char *path, std::size_t maxBytes, std::vector<std::uint8_t> *bytes,
                     std::string *error);

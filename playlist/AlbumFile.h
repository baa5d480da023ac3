// Album files (".mal"): the full paths of a playlist, one per line.
//
// Written as UTF-8 with CR LF after every line, the last one included, through
// a temporary file that is renamed into place, so a failed write never leaves
// a truncated album behind. Read with CR LF, a lone CR or a lone LF ending a
// line. Plain code: no widgets, safe to drive from a test or a worker thread.
//
// Memory: the reader keeps what it found as the file's own bytes (the entries
// one after the other), so it holds no more than about the file's size
// however many entries it has; the writer streams through a small buffer. An
// allocation that fails on the way (std::bad_alloc) is reported, never thrown.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// The entries an album names, in file order, kept compactly: their UTF-8
// bytes, each followed by a NUL (which no path holds). Read in order.
class AlbumEntries
{
public:
    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // Calls f with each entry in order.
    void forEach(const std::function<void(const QString &)> &f) const;
    QStringList toList() const;
    // Hands the entries over in their stored form (UTF-8, each followed by a
    // NUL) and leaves this empty.
    QByteArray takeBytes();

private:
    friend class AlbumReader;
    QByteArray m_bytes;
    qsizetype m_count = 0;
};

struct AlbumReadResult
{
    bool opened = false;      // false: the file could not be opened at all
    QString error;            // why it could not be opened, or read to its end
    AlbumEntries entries;     // lines that name an existing file, unchanged, in file order
    qint64 missing = 0;       // lines that are blank or name no usable file
    bool complete = false;    // read to its end (not stopped, no failure)
    bool outOfMemory = false; // stopped for want of memory; entries then empty
};

// True when Line names an existing ordinary file that the playlist may take:
// not blank, not a folder or special file, not hidden (a name starting with a
// dot), and free of bytes no path can hold (NUL, undecodable text).
bool albumLineNamesFile(const QString &Line);

// Reads an album piece by piece, so that the reading can run on a worker,
// report its progress and stop when asked. Only a regular file is read (a
// FIFO or a device never blocks it). Lines longer than any path can be are
// counted as missing without being kept.
class AlbumReader
{
public:
    explicit AlbumReader(const QString &FPath);
    ~AlbumReader();
    AlbumReader(const AlbumReader &) = delete;
    AlbumReader &operator=(const AlbumReader &) = delete;

    bool opened() const { return m_result.opened; }
    qint64 size() const { return m_size; }     // the file's size when it was opened
    qint64 position() const { return m_done; } // bytes read so far
    qsizetype found() const { return m_result.entries.size(); } // entries kept so far
    // Reads on, about maxBytes; false once there is no more to read (the end,
    // a failed read, or memory that ran out).
    bool readSome(qint64 maxBytes = 1 << 20);
    // What was found; complete only when the whole file was read.
    AlbumReadResult take();

private:
    void finishLine();

    AlbumReadResult m_result;
    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_done = 0;
    bool m_ended = false;
    QByteArray m_line;
    bool m_lineTooLong = false;
    bool m_lineOpen = false;
    bool m_afterCR = false;
};

// Reads a whole album. progress, when given, is told after each piece how
// many of the file's bytes are done; when it returns false the reading stops
// there (the result is then not complete).
AlbumReadResult readAlbum(const QString &FPath,
                          const std::function<bool(qint64 done, qint64 total)> &progress = {});

// Writes count entries, entryAt(0) to entryAt(count - 1), to FPath in the
// album format, replacing the file atomically and streaming (no copy of the
// list is made). A symbolic link is written through (its target is replaced,
// atomically; the link stays), temporary files that interrupted writes left
// beside the target are removed, and entries holding a line break are left
// out. Returns false and sets *error when the file could not be written
// (memory that runs out included); the old file, if any, is then left as it
// was.
bool writeAlbum(const QString &FPath, qsizetype count,
                const std::function<QString(qsizetype)> &entryAt, QString *error = nullptr);
bool writeAlbum(const QString &FPath, const QStringList &Entries, QString *error = nullptr);

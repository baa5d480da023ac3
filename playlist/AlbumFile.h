// Album files (".mal"): the full paths of a playlist, one per line.
//
// Written as UTF-8 with CR LF after every line, the last one included, through
// a temporary file that is renamed into place, so a failed write never leaves
// a truncated album behind. Read with CR LF, a lone CR or a lone LF ending a
// line. Plain code: no widgets, safe to drive from a test.
#pragma once

#include <QString>
#include <QStringList>

struct AlbumReadResult
{
    bool opened = false; // false: the file could not be opened at all
    QString error;       // why it could not be opened
    QStringList entries; // lines that name an existing file, unchanged, in file order
    int missing = 0;     // lines that are blank or name no usable file
};

// True when Line names an existing ordinary file that the playlist may take:
// not blank, not a folder or special file, not hidden (a name starting with a
// dot), and free of bytes no path can hold (NUL, undecodable text).
bool albumLineNamesFile(const QString &Line);

// Reads an album. Lines longer than any path can be are counted as missing
// without being kept, so binary junk or a huge line costs no more memory than
// the read buffer.
AlbumReadResult readAlbum(const QString &FPath);

// Writes Entries to FPath in the album format, replacing the file atomically.
// A symbolic link is written through (its target is replaced, atomically; the
// link stays), temporary files that interrupted writes left beside the target
// are removed, and entries holding a line break are left out. Returns false
// and sets *error when the file could not be written; the old file, if any, is
// then left as it was.
bool writeAlbum(const QString &FPath, const QStringList &Entries, QString *error = nullptr);

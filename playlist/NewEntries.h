// Sorting new entries: is a path a file the playlist can take?
#pragma once

#include <QString>

// True when Path names no existing ordinary file: a folder, or nothing.
// Hidden files (names starting with a dot) count as no file.
bool NotAFile(const QString &Path);

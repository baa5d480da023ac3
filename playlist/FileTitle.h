// The name a path is shown under: its file name without folder and extension.
#pragma once

#include <QString>

// The file name of FPath without its folder and its extension. The last
// character is never taken for a separator or a dot, so "abc." stays "abc."
// and a path ending in a separator keeps its last folder name. A name that is
// only an extension (".mid") gives the empty string; a path without any
// separator is all name. Works for paths of any length.
QString FileTitle(const QString &FPath);

// Files that ship with the program, wherever it runs from: a build folder
// keeps them beside the executable, an installed copy under share/sonabel.
#pragma once

#include <QString>

// The path of the shipped file Name for the program in ProgramFolder: beside
// the executable when it is there, else in ../share/sonabel when it is there,
// else beside the executable all the same.
QString programDataFile(const QString &ProgramFolder, const QString &Name);

// True for an installed copy: its shipped files live under ../share/sonabel,
// not beside the executable. Such a copy keeps nothing in its own folder, even
// where it could write there (root running /usr/bin/sonabel).
bool isInstalledProgram(const QString &ProgramFolder);

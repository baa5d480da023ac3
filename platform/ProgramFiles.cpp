// Finding the files that ship with the program.
#include "platform/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

QString programDataFile(const QString &ProgramFolder, const QString &Name)
{
    const QString beside = ProgramFolder + QDir::separator() + Name;
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed =
        QDir::cleanPath(ProgramFolder + QStringLiteral("/../share/sonabel/") + Name);
    return QFileInfo(installed).isFile() ? installed : beside;
}

bool isInstalledProgram(const QString &ProgramFolder)
{
    return programDataFile(ProgramFolder, QStringLiteral("GM.MID")) !=
           ProgramFolder + QDir::separator() + QStringLiteral("GM.MID");
}

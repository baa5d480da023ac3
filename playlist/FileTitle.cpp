// The name a path is shown under.
#include "playlist/FileTitle.h"

#include <QDir>

QString FileTitle(const QString &FPath)
{
    const QChar separator = QDir::separator();
    // Both searches start one before the last character, which is never examined.
    qsizetype nameStart = 0;
    for (qsizetype i = FPath.size() - 2; i >= 0; --i) {
        if (FPath.at(i) == separator) {
            nameStart = i + 1;
            break;
        }
    }
    const QStringView name = QStringView(FPath).mid(nameStart);
    for (qsizetype i = name.size() - 2; i >= 0; --i) {
        if (name.at(i) == u'.')
            return name.left(i).toString();
    }
    return name.toString();
}

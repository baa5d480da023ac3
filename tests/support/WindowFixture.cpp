// A main window on fakes, for widget tests.
#include "support/WindowFixture.h"

#include "support/ProgramRun.h"

#include <QFileInfo>

QString WindowFixture::file(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    return QFileInfo::exists(path) ? path : writeBytes(path, content);
}

QString WindowFixture::song(const QString &name, qint32 lengthMs)
{
    const QString path = file(name);
    device.script(path, lengthMs);
    return path;
}

QString WindowFixture::album(const QString &name, const QStringList &lines)
{
    return writeLines(dir.filePath(name), lines);
}

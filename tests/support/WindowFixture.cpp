// A main window on fakes, for widget tests.
#include "support/WindowFixture.h"

#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString WindowFixture::file(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    return path;
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

// The settings store on an INI file.
#include "engine/RegularFile.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>

namespace {

QString keyFor(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("@") : name;
}

QString userFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Orvane/Sonabel.ini");
}

// The file may be read and written: nothing there yet, or a regular file. A
// FIFO or a device there would block every read and write of it.
bool usable(const QString &fileName)
{
    std::string why;
    if (mayWriteRegularFile(QFile::encodeName(fileName).constData(), &why))
        return true;
    std::fprintf(stderr,
                 "sonabel: the settings file %s cannot be used (%s); settings are "
                 "neither read nor kept\n",
                 qPrintable(fileName), why.c_str());
    return false;
}

} // namespace

IniSettingsStore::IniSettingsStore() : IniSettingsStore(userFileName())
{}

IniSettingsStore::IniSettingsStore(const QString &fileName) : m_fileName(fileName)
{
    // QSettings reads the file as it is made, so the check comes first.
    if (usable(fileName))
        m_settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

IniSettingsStore::~IniSettingsStore() = default;

std::optional<QString> IniSettingsStore::read(const QString &name) const
{
    if (!m_settings)
        return m_unkept.contains(name) ? std::optional<QString>(m_unkept.value(name))
                                       : std::nullopt;
    const QVariant value = m_settings->value(keyFor(name));
    if (!value.isValid())
        return std::nullopt;
    // A hand-edited value with an unquoted comma comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    if (!value.canConvert<QString>())
        return std::nullopt;
    return value.toString();
}

void IniSettingsStore::write(const QString &name, const QString &value)
{
    if (m_settings)
        m_settings->setValue(keyFor(name), value);
    else
        m_unkept.insert(name, value);
}

bool IniSettingsStore::flush()
{
    // Writing reads the file again first.
    if (!m_settings || !usable(m_fileName))
        return false;
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString IniSettingsStore::fileName() const
{
    return m_fileName;
}

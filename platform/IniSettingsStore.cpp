// The settings store on an INI file.
#include "platform/SettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace {

QString keyFor(const QString &name)
{
    return name.isEmpty() ? QStringLiteral("@") : name;
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QStringLiteral("Orvane"), QStringLiteral("Sonabel")))
{}

IniSettingsStore::IniSettingsStore(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{}

IniSettingsStore::~IniSettingsStore() = default;

std::optional<QString> IniSettingsStore::read(const QString &name) const
{
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
    m_settings->setValue(keyFor(name), value);
}

bool IniSettingsStore::flush()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString IniSettingsStore::fileName() const
{
    return m_settings->fileName();
}

// The per-user store of named text values that the settings live in.
#pragma once

#include <QMap>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    // The text stored under name, or nothing when it is absent or unreadable.
    // The name "" addresses the store's unnamed value.
    virtual std::optional<QString> read(const QString &name) const = 0;
    virtual void write(const QString &name, const QString &value) = 0;
    // Puts what was written on disk; false when that failed.
    virtual bool flush() = 0;
};

// The real store: an INI file at the standard per-user configuration place,
// organisation "Orvane", application "Sonabel" (XDG_CONFIG_HOME moves it).
// The unnamed value is kept under the name "@". Only a regular file is read
// or written: with anything else at the place (a FIFO would block every read)
// the settings live in memory for the session, and flush() fails.
class IniSettingsStore : public SettingsStore
{
public:
    IniSettingsStore();
    // A store in a given file, for tests and tools.
    explicit IniSettingsStore(const QString &fileName);
    ~IniSettingsStore() override;

    std::optional<QString> read(const QString &name) const override;
    void write(const QString &name, const QString &value) override;
    bool flush() override;
    QString fileName() const;

private:
    QString m_fileName;
    std::unique_ptr<QSettings> m_settings; // none when the file cannot be used
    QMap<QString, QString> m_unkept;       // the values meanwhile
};

// A settings store in memory.
#pragma once

#include "platform/SettingsStore.h"

#include <QMap>

class MemoryStore : public SettingsStore
{
public:
    std::optional<QString> read(const QString &name) const override
    {
        return values.contains(name) ? std::optional(values.value(name)) : std::nullopt;
    }
    void write(const QString &name, const QString &value) override
    {
        values.insert(name, value);
        ++writes;
    }
    bool flush() override { return true; }

    QMap<QString, QString> values;
    int writes = 0;
};

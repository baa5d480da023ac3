// A settings store in memory.
#pragma once

#include "platform/SettingsStore.h"

#include <QMap>

class MemoryStore : public SettingsStore
{
public:
    std::optional<QString> read(const QString &name) const override
    {
        const auto it = values.constFind(name);
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
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

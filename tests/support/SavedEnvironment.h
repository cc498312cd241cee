#pragma once
// Environment variables a test changes, put back as found when the returned guard goes,
// also when a failed check returns early.
#include <QByteArray>
#include <QScopeGuard>

#include <optional>
#include <vector>

inline auto SavedEnvironment(std::initializer_list<const char *> names)
{
    std::vector<std::pair<const char *, std::optional<QByteArray>>> was;
    for (const char *name : names)
        was.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    return qScopeGuard([was] {
        for (const auto &[name, value] : was)
            value ? qputenv(name, *value) : qunsetenv(name);
    });
}

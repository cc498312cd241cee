#pragma once
// Environment variables a test changes, put back as found when it ends, also when a check
// fails and returns early.
#include <QByteArray>

#include <initializer_list>
#include <tuple>
#include <vector>

class SavedEnvironment
{
    std::vector<std::tuple<const char *, QByteArray, bool>> saved_; // name, value, set

public:
    SavedEnvironment(std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            saved_.emplace_back(name, qgetenv(name), qEnvironmentVariableIsSet(name));
    }
    ~SavedEnvironment()
    {
        for (const auto &[name, value, set] : saved_)
            set ? qputenv(name, value) : qunsetenv(name);
    }
};

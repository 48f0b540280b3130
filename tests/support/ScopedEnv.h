#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace lumora::test {

/// Sets an environment variable while it lives, then restores the previous value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_previous(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { m_previous ? (void)qputenv(m_name, *m_previous) : (void)qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

} // namespace lumora::test

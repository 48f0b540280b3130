#pragma once

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace lumora::test {

/// Collects the warnings written while it lives (from any thread), instead of printing them.
class LogCapture {
public:
    LogCapture()
    {
        const QMutexLocker lock(&s_mutex);
        s_lines.clear();
        m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            const QMutexLocker guard(&s_mutex);
            s_lines.append(text);
        });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    [[nodiscard]] QStringList captured() const
    {
        const QMutexLocker lock(&s_mutex);
        return s_lines;
    }

private:
    static inline QStringList s_lines;
    static inline QMutex s_mutex;
    QtMessageHandler m_previous = nullptr;
};

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

#pragma once

#include <QByteArray>
#include <QImage>
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
        lines().clear();
        m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            const QMutexLocker lock(&mutex());
            lines().append(text);
        });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    [[nodiscard]] QStringList captured() const
    {
        const QMutexLocker lock(&mutex());
        return lines();
    }

private:
    static QStringList& lines()
    {
        static QStringList list;
        return list;
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    QtMessageHandler m_previous = nullptr;
};

/// Sets an environment variable while it lives, then restores the previous value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_previous = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_previous)
            qputenv(m_name, *m_previous);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_previous;
};

/// A Format_Grayscale8 mask of w × h filled with `value`.
inline QImage grayMask(int w, int h, int value)
{
    QImage mask(w, h, QImage::Format_Grayscale8);
    mask.fill(uint(value));
    return mask;
}

} // namespace lumora::test

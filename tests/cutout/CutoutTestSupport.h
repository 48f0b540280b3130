#pragma once

#include "support/ScopedEnv.h"

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>

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

} // namespace lumora::test

#pragma once

#include <QByteArray>
#include <QImage>
#include <QMutex>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace lumora::test {

/// Collects the warnings written while it lives (from any thread), instead of printing them.
class LogMitschnitt {
public:
    LogMitschnitt()
    {
        zeilen().clear();
        m_vorher = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            const QMutexLocker lock(&mutex());
            zeilen().append(text);
        });
    }
    ~LogMitschnitt() { qInstallMessageHandler(m_vorher); }
    LogMitschnitt(const LogMitschnitt&) = delete;
    LogMitschnitt& operator=(const LogMitschnitt&) = delete;

    [[nodiscard]] QStringList gelesen() const
    {
        const QMutexLocker lock(&mutex());
        return zeilen();
    }

private:
    static QStringList& zeilen()
    {
        static QStringList liste;
        return liste;
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    QtMessageHandler m_vorher = nullptr;
};

/// Sets an environment variable while it lives, then restores the previous value.
class Umgebung {
public:
    Umgebung(const char* name, const QByteArray& wert)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_vorher = qgetenv(name);
        qputenv(name, wert);
    }
    ~Umgebung()
    {
        if (m_vorher)
            qputenv(m_name, *m_vorher);
        else
            qunsetenv(m_name);
    }
    Umgebung(const Umgebung&) = delete;
    Umgebung& operator=(const Umgebung&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_vorher;
};

/// A Format_Grayscale8 mask of w × h filled with `wert`.
inline QImage grauMaske(int w, int h, int wert)
{
    QImage maske(w, h, QImage::Format_Grayscale8);
    maske.fill(uint(wert));
    return maske;
}

} // namespace lumora::test

#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <unistd.h>

namespace lumora::test {

/// A small tmpfs mounted on `path` for the life of the object, so write faults are real ones
/// (a full or read-only volume). Mounting needs root; check mounted() and skip otherwise.
class SmallVolume {
public:
    SmallVolume(QString path, const QString& size) : m_path(std::move(path))
    {
        m_mounted = ::geteuid() == 0
                    && run({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                            QStringLiteral("size=") + size, QStringLiteral("tmpfs"), m_path});
    }
    ~SmallVolume()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_path});
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] const QString& path() const { return m_path; }

    [[nodiscard]] bool remountReadOnly() const { return run({QStringLiteral("-o"), QStringLiteral("remount,ro"), m_path}); }

    /// Takes every free byte.
    void fill() const
    {
        QFile filler(m_path + QStringLiteral("/fueller"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        for (qint64 chunk = 1 << 16; chunk > 0;) {
            if (filler.write(QByteArray(chunk, 'x')) < chunk)
                chunk /= 2;
        }
    }

private:
    static bool run(const QStringList& arguments) { return QProcess::execute(QStringLiteral("mount"), arguments) == 0; }

    QString m_path;
    bool m_mounted = false;
};

} // namespace lumora::test

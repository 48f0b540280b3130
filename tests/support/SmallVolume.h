#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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
            execute(QStringLiteral("umount"), {m_path});
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] const QString& path() const { return m_path; }

    [[nodiscard]] bool remountReadOnly() const
    {
        return run({QStringLiteral("-o"), QStringLiteral("remount,ro"), m_path});
    }

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
    static bool run(const QStringList& arguments) { return execute(QStringLiteral("mount"), arguments); }

    /// Runs a program and waits for it. A plain fork and exec rather than QProcess: the thread
    /// sanitizer follows fork() but not Qt's clone-based spawning, and reports false races
    /// afterwards.
    static bool execute(const QString& program, const QStringList& arguments)
    {
        std::vector<QByteArray> words{program.toLocal8Bit()};
        for (const QString& argument : arguments)
            words.push_back(argument.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    QString m_path;
    bool m_mounted = false;
};

} // namespace lumora::test

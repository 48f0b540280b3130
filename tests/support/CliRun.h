#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <grp.h>
#include <unistd.h>
#include <utility>

namespace lumora::test {

/// What one run of lumora-cli returned.
struct CliRun {
    int exitCode = -1;
    QString out, err;
};

/// Runs lumora-cli (LUMORA_CLI_PATH) with `args`, with LUMORA_MODEL_PATH set to `modelPath`
/// when one is given, and waits for it to end. With `asOtherUser`, a process running as root
/// runs it as the user "nobody" (whom file permissions bind, unlike root). `variables` are set
/// in its environment on top of this process's; one with a null value is taken out of it.
inline CliRun runCli(const QStringList& args, const QString& modelPath = {}, bool asOtherUser = false,
                     const QList<std::pair<QString, QString>>& variables = {})
{
    QProcess process;
    if (asOtherUser && ::geteuid() == 0) {
        process.setChildProcessModifier([] {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(126);
        });
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!modelPath.isEmpty())
        env.insert(QStringLiteral("LUMORA_MODEL_PATH"), modelPath);
    for (const auto& [name, value] : variables) {
        if (value.isNull())
            env.remove(name);
        else
            env.insert(name, value);
    }
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LUMORA_CLI_PATH), args);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace lumora::test

#include "base/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

std::expected<void, Error> writeThrough(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    auto failure = [&] { return std::unexpected(Error{fileErrors::domain, int(file.error()), file.errorString()}); };
    // Unbuffered: a full volume fails the write itself. Buffered, the error of the final flush
    // is lost in commit(), which then renames a truncated file over the target.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure();
    if (file.write(bytes) != bytes.size()) {
        auto failed = failure(); // take the text before cancelWriting() resets it
        file.cancelWriting();
        return failed;
    }
    if (!file.commit())
        return failure();
    return {};
}

bool isSymlink(const QByteArray& native)
{
    struct stat info {};
    return ::lstat(native.constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes, LinkAtTarget link)
{
    const QByteArray native = QFile::encodeName(path);
    if (link == LinkAtTarget::follow || !isSymlink(native))
        return writeThrough(path, bytes);
    // The link itself is replaced, its target left alone: the file is written completely under
    // a fresh name beside it, then renamed over the link (rename never follows the link). On
    // any failure the link stays as it was.
    const QFileInfo info(path);
    const QString temporary = info.dir().filePath(QStringLiteral(".") + info.fileName() + QStringLiteral(".")
                                                  + QUuid::createUuid().toString(QUuid::Id128).left(12));
    if (auto written = writeThrough(temporary, bytes); !written)
        return written;
    if (::rename(QFile::encodeName(temporary).constData(), native.constData()) != 0) {
        const int error = errno;
        QFile::remove(temporary);
        return std::unexpected(Error{fileErrors::domain, int(QFileDevice::RenameError), qt_error_string(error)});
    }
    return {};
}

} // namespace lumora

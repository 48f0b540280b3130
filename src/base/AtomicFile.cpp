#include "base/AtomicFile.h"

#include <QFile>
#include <QFileDevice>
#include <QSaveFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    // A link at the path is replaced, never followed: QSaveFile would write to the link's
    // target, possibly outside the folder. Without the link it makes a new file in its place.
    struct stat info {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &info) == 0 && S_ISLNK(info.st_mode) && ::unlink(native.constData()) != 0)
        return std::unexpected(Error{fileErrors::domain, int(QFileDevice::RemoveError), qt_error_string(errno)});
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

} // namespace lumora

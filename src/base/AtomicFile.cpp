#include "base/AtomicFile.h"

#include <QSaveFile>

namespace lumora {

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes)
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

} // namespace lumora

#include "AtomicFile.h"

#include <QSaveFile>

namespace lumora {

std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    auto failure = [&] { return std::unexpected(Error{QStringLiteral("Datei"), int(file.error()), file.errorString()}); };
    if (!file.open(QIODevice::WriteOnly))
        return failure();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return failure();
    }
    if (!file.commit())
        return failure();
    return {};
}

} // namespace lumora

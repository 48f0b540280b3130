#include "base/FailureText.h"

#include "base/NativePath.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lumora {

namespace {

QString quoted(const QString& text)
{
    return QStringLiteral("„") + text + QStringLiteral("“");
}

QFileDevice::FileError codeFor(FileAction action, int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case ENOMEM:
    case EMFILE:
    case ENFILE: return QFileDevice::ResourceError;
    case EACCES:
    case EPERM:
    case EROFS: return QFileDevice::PermissionsError;
    default: return action == FileAction::read ? QFileDevice::ReadError : QFileDevice::WriteError;
    }
}

} // namespace

QString quotedName(const QString& path)
{
    return quoted(QFileInfo(path).fileName());
}

QString fileErrorReason(FileAction action, int error, const QString& subject)
{
    const QString name = subject.isEmpty()               ? QStringLiteral("die Datei")
                         : subject == QLatin1String("/") ? quoted(subject)
                                                         : quoted(QFileInfo(subject).fileName());
    const bool reading = action == FileAction::read;
    switch (error) {
    case ENOSPC: return QStringLiteral("Nicht genug Speicherplatz auf dem Ziel-Datenträger.");
    case EDQUOT: return QStringLiteral("Der Speicherplatz dieses Benutzers auf dem Datenträger ist aufgebraucht.");
    case EFBIG: return QStringLiteral("Die Datei ist zu groß für den Ziel-Datenträger.");
    case EACCES:
    case EPERM:
        return reading ? QStringLiteral("Keine Leserechte für %1.").arg(name)
                       : QStringLiteral("Keine Schreibrechte für %1.").arg(name);
    case EROFS: return QStringLiteral("Keine Schreibrechte für %1: Der Datenträger ist schreibgeschützt.").arg(name);
    case EISDIR: return QStringLiteral("An ihrer Stelle liegt ein Ordner gleichen Namens.");
    case ENAMETOOLONG: return QStringLiteral("Der Dateiname ist zu lang für den Datenträger.");
    case ENOENT:
        return subject.isEmpty() ? QStringLiteral("Die Datei existiert nicht (mehr).")
                                 : QStringLiteral("%1 existiert nicht (mehr).").arg(name);
    case ENOTDIR: return QStringLiteral("Ein Teil des Pfads ist kein Ordner.");
    case ELOOP: return QStringLiteral("Der Pfad enthält zu viele Verknüpfungen.");
    case EEXIST: return QStringLiteral("Eine Datei dieses Namens existiert bereits.");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("Die Datei wird gerade benutzt.");
    case EXDEV: return QStringLiteral("Die Datei liegt auf einem anderen Datenträger.");
    case EIO: return QStringLiteral("Der Datenträger meldet einen Lese- oder Schreibfehler.");
    case ENOMEM: return QStringLiteral("Nicht genug Arbeitsspeicher.");
    case EMFILE:
    case ENFILE: return QStringLiteral("Zu viele geöffnete Dateien.");
    case ENXIO:
    case ENODEV:
    case ESTALE:
    case ENOTCONN:
    case ESHUTDOWN:
    case EHOSTDOWN: return QStringLiteral("Der Datenträger ist nicht mehr erreichbar.");
    case EINVAL: return QStringLiteral("Der Datenträger lässt diesen Dateinamen oder diesen Zugriff nicht zu.");
    default: return QStringLiteral("Das Betriebssystem meldet den Fehler Nr. %1.").arg(error);
    }
}

QString unsearchableFolder(const QString& path)
{
    const QByteArray bytes = nativePath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
    // Each folder on the way, from the top: the first one the process may not enter.
    for (qsizetype slash = bytes.indexOf('/', 1); slash > 0; slash = bytes.indexOf('/', slash + 1)) {
        const QByteArray folder = bytes.left(slash);
        struct stat info {};
        if (::stat(folder.constData(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder.constData(), X_OK) != 0)
            return pathFromNative(folder);
    }
    return {};
}

namespace {

/// Whether `path` is too long as a whole for the system while each of its names would fit.
bool pathTooLong(const QString& path)
{
    const QByteArray bytes = nativePath(path);
    if (bytes.size() < PATH_MAX)
        return false;
    const QList<QByteArray> names = bytes.split('/');
    return std::all_of(names.cbegin(), names.cend(), [](const QByteArray& name) { return name.size() <= NAME_MAX; });
}

/// The reason of a failure that the error number alone tells wrongly: a folder on the way that
/// may not be entered, or a path too long as a whole. Empty when the number tells it right.
QString reasonFromPath(const QString& path, int error, const QString& subject)
{
    if (error == ENAMETOOLONG && pathTooLong(path))
        return QStringLiteral("Der Pfad ist länger als die %1 Bytes, die das System zulässt.").arg(PATH_MAX);
    if (error == EACCES && subject.isEmpty()) {
        const QString folder = unsearchableFolder(path);
        if (!folder.isEmpty())
            return QStringLiteral("Keine Zugriffsrechte für den Ordner %1.").arg(quoted(QFileInfo(folder).fileName()));
    }
    return {};
}

} // namespace

Error fileFailure(FileAction action, const QString& path, int error, const QString& subject)
{
    const QString verb = action == FileAction::read ? QStringLiteral("gelesen") : QStringLiteral("geschrieben");
    QString reason = reasonFromPath(path, error, subject);
    if (reason.isEmpty())
        reason = fileErrorReason(action, error, subject);
    return Error{fileErrors::domain, int(codeFor(action, error)),
                 QStringLiteral("%1 konnte nicht %2 werden: %3").arg(quotedName(path), verb, reason)};
}

QString decoderReason(const QString& decoderMessage)
{
    // Phrases of libjpeg, libpng, libtiff, libwebp, libheif and libvips, first match wins.
    static const std::pair<QStringList, QString> table[] = {
        {{QStringLiteral("premature end"), QStringLiteral("truncated"), QStringLiteral("unexpected end"),
          QStringLiteral("end of file"), QStringLiteral("not enough data"), QStringLiteral("out of data")},
         QStringLiteral("Die Datei ist unvollständig.")},
        {{QStringLiteral("out of memory"), QStringLiteral("memory allocation"), QStringLiteral("cannot allocate")},
         QStringLiteral("Nicht genug Arbeitsspeicher zum Dekodieren.")},
        {{QStringLiteral("unsupported"), QStringLiteral("not supported"), QStringLiteral("unimplemented")},
         QStringLiteral("Diese Art der Kodierung wird nicht unterstützt.")},
        {{QStringLiteral("not a known"), QStringLiteral("not a jpeg"), QStringLiteral("not a png"),
          QStringLiteral("unknown format"), QStringLiteral("bad magic")},
         QStringLiteral("Das Dateiformat wird nicht erkannt.")},
        {{QStringLiteral("icc"), QStringLiteral("profile")},
         QStringLiteral("Das eingebettete Farbprofil ist beschädigt.")},
    };
    const QString message = decoderMessage.toLower();
    for (const auto& [phrases, reason] : table) {
        for (const QString& phrase : phrases) {
            if (message.contains(phrase))
                return reason;
        }
    }
    return QStringLiteral("Die Bilddaten sind beschädigt.");
}

} // namespace lumora

#pragma once

#include "base/Error.h"

#include <QString>

namespace lumora {

// The one table of reasons the user reads when a file cannot be read or written, or a photo
// cannot be decoded: operating-system error numbers and decoder messages turned into German
// sentences that name the file. Every read and write path builds its messages here, so no
// English system text reaches an alert.

/// Errors of file reads and writes: domain "Datei"; the code is the QFileDevice::FileError
/// that fits the failure (OpenError, ReadError, WriteError, RenameError, ResourceError…).
namespace fileErrors {
inline constexpr QLatin1StringView domain{"Datei"};
} // namespace fileErrors

/// What was being done with a file when it failed.
enum class FileAction {
    read,  ///< reading a file whole
    write, ///< writing a file (made new or replaced)
};

/// The file name of `path` in German quotes: „IMG_0042.jpg“.
[[nodiscard]] QString quotedName(const QString& path);

/// The reason for the error number `error` (errno) of `action` as a German sentence, e.g. "Nicht
/// genug Speicherplatz auf dem Ziel-Datenträger." `subject` is what the failed call touched (the
/// file, or the folder a file was being made in), named where the reason is about it: "Keine
/// Schreibrechte für „Karte“."; empty means the file itself ("Keine Schreibrechte für die
/// Datei."). Numbers without a sentence of their own give a general one.
[[nodiscard]] QString fileErrorReason(FileAction action, int error, const QString& subject);

/// The failure of `action` on the file `path` with errno `error`: domain fileErrors::domain, the
/// fitting QFileDevice code, and "„name“ konnte nicht geschrieben werden: <reason>" (or
/// "gelesen"); `subject` as for fileErrorReason. Where the number alone would tell the wrong
/// reason the path is looked at: a refused access (EACCES, no `subject`) caused by a folder on
/// the way that may not be entered names that folder, and a path too long as a whole (while
/// each name in it fits) says so instead of calling the name too long.
[[nodiscard]] Error fileFailure(FileAction action, const QString& path, int error, const QString& subject = {});

/// The first folder on the way to `path` (absolute, or from the current folder) that the process
/// may not enter; empty when it may enter all of them.
[[nodiscard]] QString unsearchableFolder(const QString& path);

/// A decoder's own (English) message turned into a German reason, such as "Die Datei ist
/// unvollständig." or "Die Bilddaten sind beschädigt."; a general reason when it names none.
[[nodiscard]] QString decoderReason(const QString& decoderMessage);

} // namespace lumora

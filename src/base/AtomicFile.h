#pragma once

#include "base/Error.h"

#include <QByteArray>
#include <QString>
#include <expected>

namespace lumora {

/// Errors of file writes: domain "Datei"; the code is the QFileDevice::FileError of the failure.
namespace fileErrors {
inline constexpr QLatin1StringView domain{"Datei"};
} // namespace fileErrors

/// Writes `bytes` to `path` atomically: into a temporary file in the same folder, flushed, then
/// renamed over the target. A failed or interrupted write leaves the old file untouched.
/// A symbolic link at `path` is followed (the photo it names is written), or, with
/// LinkAtTarget::replace, replaced by the new file while its target is left alone (a folder
/// of numbered exports must never write outside itself through a planted link).
/// Fails with fileErrors::domain and the file system's own description.
enum class LinkAtTarget { follow, replace };
[[nodiscard]] std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                                             LinkAtTarget link = LinkAtTarget::follow);

} // namespace lumora

#pragma once

#include "base/Error.h"

#include <QByteArray>
#include <QString>
#include <expected>

namespace lumora {

/// Writes `bytes` to `path` atomically: into a temporary file in the same folder, flushed, then
/// renamed over the target. A failed or interrupted write leaves the old file untouched.
/// Fails with domain "Datei" and the file system's own description.
[[nodiscard]] std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace lumora

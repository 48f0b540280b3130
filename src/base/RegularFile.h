#pragma once

#include "base/Error.h"
#include "base/FailureText.h"

#include <QByteArray>
#include <QString>
#include <expected>

namespace lumora {

/// The most a photo file may hold to be read into memory whole.
inline constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;

/// Reads a regular file whole, following a link only to a regular file. Devices, pipes, sockets
/// and folders are refused without blocking, and so is a file of more than `maxBytes`, before
/// or while it is read. Fails with fileErrors::domain and a German text naming the file.
[[nodiscard]] std::expected<QByteArray, Error> readRegularFile(const QString& path, qint64 maxBytes = kMaxFileBytes);

} // namespace lumora

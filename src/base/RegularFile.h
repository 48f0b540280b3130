#pragma once

#include "base/Error.h"
#include "base/FailureText.h"

#include <QByteArray>
#include <QString>
#include <expected>
#include <optional>

namespace lumora {

/// The most a photo file may hold to be read into memory whole.
inline constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;

/// Reads a regular file whole, following a link only to a regular file. Devices, pipes, sockets
/// and folders are refused without blocking, and so is a file of more than `maxBytes`, before
/// or while it is read. Fails with fileErrors::domain and a German text naming the file.
[[nodiscard]] std::expected<QByteArray, Error> readRegularFile(const QString& path, qint64 maxBytes = kMaxFileBytes);

/// What tells one version of a file from another: its size, its modification time (nanoseconds
/// since the epoch) and its inode. A file written anew (atomic writes put a new inode in place)
/// or changed in place differs in at least one of them. The device is left out: a card mounted
/// again after a restart may get another device number.
struct FileIdentity {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// The identity of the regular file `path` names now, links followed; none when there is no
/// such file or it is not a regular file (a device, pipe or folder). Never blocks on the file.
[[nodiscard]] std::optional<FileIdentity> identityOf(const QString& path);

} // namespace lumora

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

/// A regular file open for reading at any offset, under readRegularFile's rules (checked on the
/// open file, so nothing can be swapped in between). For reading the parts of a large file that
/// are needed, not all of it. Move-only; closes the file when it goes.
class OpenRegularFile {
public:
    [[nodiscard]] static std::expected<OpenRegularFile, Error> open(const QString& path,
                                                                    qint64 maxBytes = kMaxFileBytes);
    OpenRegularFile(OpenRegularFile&& other) noexcept;
    OpenRegularFile& operator=(OpenRegularFile&& other) noexcept;
    ~OpenRegularFile();

    [[nodiscard]] const QString& path() const { return m_path; }
    /// The file's identity when it was opened; its size is the size to read.
    [[nodiscard]] const FileIdentity& identity() const { return m_identity; }
    /// Reads up to `length` bytes at `offset` into `into`: fewer only at the end of the file.
    [[nodiscard]] std::expected<qint64, Error> readAt(qint64 offset, char* into, qint64 length) const;
    /// The same into new bytes.
    [[nodiscard]] std::expected<QByteArray, Error> readAt(qint64 offset, qint64 length) const;
    /// The whole file, from its start to its end as it is now (not beyond the limit it was opened with).
    [[nodiscard]] std::expected<QByteArray, Error> readAll() const;

private:
    OpenRegularFile(int fd, QString path, FileIdentity identity, qint64 maxBytes);
    int m_fd = -1;
    QString m_path;
    FileIdentity m_identity;
    qint64 m_maxBytes = 0;
};

/// The identity of the regular file `path` names now, links followed; none when there is no
/// such file or it is not a regular file (a device, pipe or folder). Never blocks on the file.
[[nodiscard]] std::optional<FileIdentity> identityOf(const QString& path);

} // namespace lumora

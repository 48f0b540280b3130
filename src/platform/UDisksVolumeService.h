#pragma once

#include "platform/VolumeService.h"

#include <QDBusConnection>
#include <QList>
#include <QString>

namespace lumora {

/// Errors of ejecting through UDisks2: domain "UDisks2", one code.
namespace volumeErrors {
inline constexpr QLatin1StringView domain{"UDisks2"};
enum Code : int {
    failed = -1, ///< the bus or UDisks2 refused; the description carries its text
};
} // namespace volumeErrors

/// Ejects removable media through UDisks2 on the system bus: unmounts the filesystem whose
/// mount point holds the path (the longest matching mount point wins), then ejects its drive,
/// or powers it off when it cannot be ejected. A path on a drive that is not removable is
/// refused before anything is unmounted. Errors carry a German sentence (describeFailure).
class UDisksVolumeService : public VolumeService {
public:
    explicit UDisksVolumeService(QDBusConnection bus = QDBusConnection::systemBus());

    [[nodiscard]] std::expected<void, Error> unmountAndEject(const QString& path) override;

    /// A mounted filesystem as UDisks2 reports it.
    struct Mounted {
        QString object; ///< D-Bus object path of the block device
        QString drive;  ///< object path of its drive ("/" when none)
        QStringList mountPoints;
        bool removable = true; ///< the drive's medium can be removed or ejected (true when unknown)
    };
    /// The filesystem whose mount point is the longest prefix of `path`, if any.
    [[nodiscard]] static std::optional<Mounted> holding(const QList<Mounted>& filesystems, const QString& path);

    /// The German sentence for a failed call, chosen by the D-Bus error name (the bus's own
    /// English message never reaches the user).
    [[nodiscard]] static QString describeFailure(const QString& errorName);

private:
    [[nodiscard]] std::expected<QList<Mounted>, Error> mountedFilesystems();
    [[nodiscard]] std::expected<void, Error> call(const QString& object, const QString& interface,
                                                  const QString& method);

    QDBusConnection m_bus;
};

} // namespace lumora

#include "platform/UDisksVolumeService.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QVariantMap>

namespace lumora {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
constexpr int kTimeoutMs = 30000;

Error volumeError(const QString& text)
{
    return Error{volumeErrors::domain, volumeErrors::failed, text};
}

/// Mount points arrive as arrays of NUL-terminated byte strings.
QStringList mountPointsOf(const QVariant& value)
{
    QStringList points;
    const QDBusArgument arg = value.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QByteArray bytes;
        arg >> bytes;
        if (bytes.endsWith('\0'))
            bytes.chop(1);
        points.append(QString::fromLocal8Bit(bytes));
    }
    arg.endArray();
    return points;
}

using Interfaces = QMap<QString, QVariantMap>;

/// Reads a{sa{sv}} for one object.
Interfaces interfacesOf(const QDBusArgument& arg)
{
    Interfaces interfaces;
    arg.beginMap();
    while (!arg.atEnd()) {
        QString name;
        QVariantMap properties;
        arg.beginMapEntry();
        arg >> name >> properties;
        arg.endMapEntry();
        interfaces.insert(name, properties);
    }
    arg.endMap();
    return interfaces;
}

} // namespace

UDisksVolumeService::UDisksVolumeService(QDBusConnection bus) : m_bus(std::move(bus))
{
}

std::optional<UDisksVolumeService::Mounted> UDisksVolumeService::holding(const QList<Mounted>& filesystems,
                                                                         const QString& path)
{
    const QString target = QDir::cleanPath(path) + QLatin1Char('/');
    std::optional<Mounted> best;
    qsizetype bestLength = -1;
    for (const Mounted& fs : filesystems) {
        for (const QString& point : fs.mountPoints) {
            const QString prefix = point == QLatin1String("/") ? point : QDir::cleanPath(point) + QLatin1Char('/');
            if (target.startsWith(prefix) && prefix.size() > bestLength) {
                best = fs;
                bestLength = prefix.size();
            }
        }
    }
    return best;
}

std::expected<QList<UDisksVolumeService::Mounted>, Error> UDisksVolumeService::mountedFilesystems()
{
    if (!m_bus.isConnected())
        return std::unexpected(volumeError(m_bus.lastError().message().isEmpty()
                                               ? QStringLiteral("Keine Verbindung zum System-Bus.")
                                               : m_bus.lastError().message()));
    QDBusMessage request = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2"),
                                                          QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                          QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = m_bus.call(request, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return std::unexpected(volumeError(reply.errorMessage()));
    QList<Mounted> result;
    const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath object;
        objects.beginMapEntry();
        objects >> object;
        const Interfaces interfaces = interfacesOf(objects);
        objects.endMapEntry();
        if (!interfaces.contains(kFilesystem))
            continue;
        const QStringList points = mountPointsOf(interfaces.value(kFilesystem).value(QStringLiteral("MountPoints")));
        if (points.isEmpty())
            continue;
        const QString drive = interfaces.value(kBlock).value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        result.append({object.path(), drive, points});
    }
    objects.endMap();
    return result;
}

std::expected<void, Error> UDisksVolumeService::call(const QString& object, const QString& interface,
                                                     const QString& method)
{
    QDBusMessage request = QDBusMessage::createMethodCall(kService, object, interface, method);
    request << QVariantMap();
    const QDBusMessage reply = m_bus.call(request, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return std::unexpected(volumeError(reply.errorMessage()));
    return {};
}

std::expected<void, Error> UDisksVolumeService::unmountAndEject(const QString& path)
{
    auto filesystems = mountedFilesystems();
    if (!filesystems)
        return std::unexpected(filesystems.error());
    const std::optional<Mounted> fs = holding(*filesystems, path);
    if (!fs)
        return std::unexpected(volumeError(QStringLiteral("Kein eingehängtes Laufwerk enthält „%1“.").arg(path)));
    if (auto unmounted = call(fs->object, kFilesystem, QStringLiteral("Unmount")); !unmounted)
        return unmounted;
    if (fs->drive.isEmpty() || fs->drive == QLatin1String("/"))
        return {};
    // Card readers eject the medium; USB sticks and disks are powered off instead.
    if (auto ejected = call(fs->drive, kDrive, QStringLiteral("Eject")); ejected)
        return {};
    return call(fs->drive, kDrive, QStringLiteral("PowerOff"));
}

} // namespace lumora

#include "platform/UDisksVolumeService.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QHash>
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

Error failureOf(const QDBusMessage& reply)
{
    return volumeError(UDisksVolumeService::describeFailure(reply.errorName()));
}

bool driveIsRemovable(const QVariantMap& drive)
{
    for (const char* key : {"Removable", "MediaRemovable", "Ejectable"}) {
        if (drive.value(QLatin1String(key)).toBool())
            return true;
    }
    return false;
}

} // namespace

QString UDisksVolumeService::describeFailure(const QString& errorName)
{
    static const QList<std::pair<QLatin1StringView, QString>> sentences = {
        {QLatin1StringView("org.freedesktop.DBus.Error.ServiceUnknown"),
         QStringLiteral("Kein Dienst zum Auswerfen erreichbar.")},
        {QLatin1StringView("org.freedesktop.DBus.Error.NoServer"),
         QStringLiteral("Kein Dienst zum Auswerfen erreichbar.")},
        {QLatin1StringView("org.freedesktop.DBus.Error.Disconnected"),
         QStringLiteral("Kein Dienst zum Auswerfen erreichbar.")},
        {QLatin1StringView("org.freedesktop.DBus.Error.NoReply"),
         QStringLiteral("Das Auswerfen hat zu lange gedauert.")},
        {QLatin1StringView("org.freedesktop.DBus.Error.Timeout"),
         QStringLiteral("Das Auswerfen hat zu lange gedauert.")},
        {QLatin1StringView("org.freedesktop.UDisks2.Error.DeviceBusy"),
         QStringLiteral("Das Medium wird noch benutzt.")},
        {QLatin1StringView("org.freedesktop.UDisks2.Error.NotAuthorized"),
         QStringLiteral("Keine Berechtigung zum Auswerfen.")},
        {QLatin1StringView("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"),
         QStringLiteral("Keine Berechtigung zum Auswerfen.")},
        {QLatin1StringView("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
         QStringLiteral("Keine Berechtigung zum Auswerfen.")},
        {QLatin1StringView("org.freedesktop.UDisks2.Error.NotMounted"),
         QStringLiteral("Das Medium ist nicht mehr eingehängt.")},
    };
    for (const auto& [name, sentence] : sentences) {
        if (errorName == name)
            return sentence;
    }
    return QStringLiteral("Das Medium konnte nicht ausgeworfen werden.");
}

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
        return std::unexpected(volumeError(QStringLiteral("Kein Dienst zum Auswerfen erreichbar.")));
    QDBusMessage request = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2"),
                                                          QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                          QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = m_bus.call(request, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return std::unexpected(failureOf(reply));
    QList<Mounted> result;
    QHash<QString, bool> removableDrives;
    const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath object;
        objects.beginMapEntry();
        objects >> object;
        const Interfaces interfaces = interfacesOf(objects);
        objects.endMapEntry();
        if (interfaces.contains(kDrive))
            removableDrives.insert(object.path(), driveIsRemovable(interfaces.value(kDrive)));
        if (!interfaces.contains(kFilesystem))
            continue;
        const QStringList points = mountPointsOf(interfaces.value(kFilesystem).value(QStringLiteral("MountPoints")));
        if (points.isEmpty())
            continue;
        const QString drive = interfaces.value(kBlock).value(QStringLiteral("Drive")).value<QDBusObjectPath>().path();
        result.append({object.path(), drive, points});
    }
    objects.endMap();
    for (Mounted& fs : result)
        fs.removable = removableDrives.value(fs.drive, true);
    return result;
}

std::expected<void, Error> UDisksVolumeService::call(const QString& object, const QString& interface,
                                                     const QString& method)
{
    QDBusMessage request = QDBusMessage::createMethodCall(kService, object, interface, method);
    request << QVariantMap();
    const QDBusMessage reply = m_bus.call(request, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return std::unexpected(failureOf(reply));
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
    if (!fs->removable) // never unmount and power off a fixed disk
        return std::unexpected(volumeError(QStringLiteral("„%1“ liegt nicht auf einem Wechseldatenträger.").arg(path)));
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

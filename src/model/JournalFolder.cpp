#include "model/JournalFolder.h"

#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "pipeline/EditsJson.h"
#include "pipeline/Encoders.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora {

namespace {

const QString kSessionFile = QStringLiteral("session.json");
const QString kLockFile = QStringLiteral("lock");
const QString kSessionFormat = QStringLiteral("lumora-session");
const QString kPhotoFormat = QStringLiteral("lumora-session-photo");

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces);
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

/// The extension of an original's encoded bytes, from their first bytes (only for people
/// looking into the folder: the decoder chooses by the header).
QString extensionOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8"))
        return QStringLiteral("jpg");
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("png");
    return QStringLiteral("img");
}

/// A whole number kept as decimal text (JSON numbers lose digits above 2^53).
QString bigNumber(qint64 value)
{
    return QString::number(value);
}

/// Reads a JSON object file under the journal's caps; a German reason when it cannot be used.
std::expected<QJsonObject, QString> readObject(const QString& path)
{
    auto bytes = readRegularFile(path, JournalFolder::kMaxJsonBytes);
    if (!bytes)
        return std::unexpected(bytes.error().description);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return std::unexpected(QStringLiteral("Die Datei ist unvollständig oder beschädigt (Position %1: %2).")
                                   .arg(parseError.offset)
                                   .arg(parseError.errorString()));
    if (!document.isObject())
        return std::unexpected(QStringLiteral("Die Datei enthält kein JSON-Objekt."));
    return document.object();
}

/// Checks "format" and "version"; a German reason when the file is of another kind or newer.
std::expected<void, QString> checkHeader(const QJsonObject& o, const QString& format)
{
    if (o.value(QLatin1String("format")).toString() != format)
        return std::unexpected(QStringLiteral("Die Datei ist kein Sitzungsprotokoll von Lumora Studio."));
    const QJsonValue version = o.value(QLatin1String("version"));
    const double v = version.toDouble(-1);
    if (!version.isDouble() || v < 1 || v != std::floor(v))
        return std::unexpected(QStringLiteral("Die Versionsangabe fehlt oder ist ungültig."));
    if (v > JournalFolder::kVersion)
        return std::unexpected(
            QStringLiteral("Das Sitzungsprotokoll stammt von einer neueren Version von Lumora Studio."));
    return {};
}

std::optional<qint64> wholeNumber(const QJsonValue& value)
{
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().toLongLong(&ok);
        return ok && n >= 0 ? std::optional(n) : std::nullopt;
    }
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < 0 || d > 9e15 || d != std::floor(d))
        return std::nullopt;
    return qint64(d);
}

std::expected<JournalEntry, QString> readEntry(const QJsonValue& value)
{
    const QJsonObject o = value.toObject();
    JournalEntry entry;
    entry.id = QUuid::fromString(o.value(QLatin1String("id")).toString());
    entry.path = o.value(QLatin1String("path")).toString();
    const auto size = wholeNumber(o.value(QLatin1String("size")));
    const auto modified = wholeNumber(o.value(QLatin1String("modified")));
    const auto inode = wholeNumber(o.value(QLatin1String("inode")));
    if (!value.isObject() || entry.id.isNull() || !QDir::isAbsolutePath(entry.path) || !size || !modified || !inode)
        return std::unexpected(QStringLiteral("Ein Eintrag der Fotoliste ist ungültig."));
    entry.identity = FileIdentity{*size, *modified, quint64(*inode)};
    return entry;
}

/// The name of an original file of photo `id` that the journal itself could have written:
/// nothing that leaves the folder, nothing of another photo.
bool isOriginalName(const QString& name, const QUuid& id)
{
    static const QRegularExpression pattern(QStringLiteral("^original-([0-9a-f-]{36})-[0-9]{1,9}\\.(jpg|png|img)$"));
    const auto match = pattern.match(name);
    return match.hasMatch() && QUuid::fromString(match.captured(1)) == id;
}

/// Why the photo's file cannot be restored (none when it is the version the journal saw).
std::optional<QString> fileProblem(const JournalEntry& entry)
{
    const QFileInfo info(entry.path);
    if (!info.exists() && !info.isSymLink())
        return QStringLiteral("Die Datei ist nicht mehr da.");
    const auto identity = identityOf(entry.path);
    if (!identity)
        return QStringLiteral("Das ist keine reguläre Datei.");
    if (!(*identity == entry.identity))
        return QStringLiteral("Die Datei wurde seitdem verändert.");
    return std::nullopt;
}

} // namespace

int JournalContents::changedCount() const
{
    return int(std::count_if(photos.begin(), photos.end(), [](const RestorablePhoto& p) { return p.hasChanges(); }));
}

QString JournalFolder::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/lumora-studio/session");
}

QString JournalFolder::photoFileName(const QUuid& id)
{
    return QStringLiteral("photo-%1.json").arg(idText(id));
}

bool JournalFolder::hasJournal() const
{
    return QFileInfo::exists(m_path + QLatin1Char('/') + kSessionFile)
           || QFileInfo(m_path + QLatin1Char('/') + kSessionFile).isSymLink();
}

std::expected<void, Error> JournalFolder::create() const
{
    // The folder and the one above it (ours) are private: edits and kept originals are the
    // user's unpublished work.
    const QString ours = QFileInfo(m_path).absolutePath();
    for (const QString& folder : {ours, m_path}) {
        if (!QDir().mkpath(folder))
            return std::unexpected(fileFailure(FileAction::write, folder, EACCES));
        if (::chmod(nativePath(folder).constData(), 0700) != 0)
            return std::unexpected(fileFailure(FileAction::write, folder, errno));
    }
    return {};
}

std::expected<void, Error> JournalFolder::writeSession(const JournalSession& session) const
{
    QJsonArray photos, selection;
    for (const JournalEntry& entry : session.photos)
        photos.append(QJsonObject{{QStringLiteral("id"), idText(entry.id)},
                                  {QStringLiteral("path"), entry.path},
                                  {QStringLiteral("size"), double(entry.identity.size)},
                                  {QStringLiteral("modified"), bigNumber(entry.identity.modifiedNs)},
                                  {QStringLiteral("inode"), bigNumber(qint64(entry.identity.inode))}});
    for (const QUuid& id : session.selection)
        selection.append(idText(id));
    const QJsonObject root{{QStringLiteral("format"), kSessionFormat},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("photos"), photos},
                           {QStringLiteral("selection"), selection}};
    return writeFileAtomically(m_path + QLatin1Char('/') + kSessionFile, compact(root), LinkAtTarget::replace);
}

std::expected<void, Error> JournalFolder::writePhoto(const JournalPhoto& photo) const
{
    QJsonObject root{
        {QStringLiteral("format"), kPhotoFormat},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("id"), idText(photo.id)},
        {QStringLiteral("originalSize"), QJsonArray{photo.originalSize.width(), photo.originalSize.height()}},
        {QStringLiteral("edits"), editStateToJson(photo.edits)}};
    if (!photo.originalFile.isEmpty())
        root.insert(QStringLiteral("originalFile"), photo.originalFile);
    return writeFileAtomically(m_path + QLatin1Char('/') + photoFileName(photo.id), compact(root),
                               LinkAtTarget::replace);
}

std::expected<QString, Error> JournalFolder::writeOriginal(const QUuid& id, int generation,
                                                           const SourceImage& original) const
{
    QByteArray bytes = original.encodedBytes();
    if (bytes.isEmpty()) {
        auto pixels = original.decode();
        if (!pixels)
            return std::unexpected(pixels.error());
        auto png = encodePNG(Image{*pixels, QRectF(QPointF(0, 0), QSizeF(pixels->size()))});
        if (!png)
            return std::unexpected(png.error());
        bytes = std::move(*png);
    }
    const QString name = QStringLiteral("original-%1-%2.%3").arg(idText(id)).arg(generation).arg(extensionOf(bytes));
    if (auto written = writeFileAtomically(m_path + QLatin1Char('/') + name, bytes, LinkAtTarget::replace); !written)
        return std::unexpected(written.error());
    return name;
}

void JournalFolder::removeOriginals(const QUuid& id, const QString& keep) const
{
    QDir folder(m_path);
    const QString prefix = QStringLiteral("original-%1-").arg(idText(id));
    for (const QString& name : folder.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::System)) {
        if (name != keep)
            folder.remove(name);
    }
}

void JournalFolder::removePhotoFiles(const QUuid& id) const
{
    // The record first: a record never names an original that is gone.
    QDir(m_path).remove(photoFileName(id));
    removeOriginals(id);
}

void JournalFolder::removeOthers(const QList<QUuid>& ids) const
{
    const QSet<QUuid> kept(ids.begin(), ids.end());
    static const QRegularExpression idIn(QStringLiteral("^(?:photo|original)-([0-9a-f-]{36})[-.]"));
    QDir folder(m_path);
    for (const QString& name :
         folder.entryList({QStringLiteral("photo-*"), QStringLiteral("original-*")}, QDir::Files | QDir::System)) {
        const auto match = idIn.match(name);
        if (!match.hasMatch() || !kept.contains(QUuid::fromString(match.captured(1))))
            folder.remove(name);
    }
}

void JournalFolder::clear() const
{
    QDir folder(m_path);
    folder.remove(kSessionFile);
    removeOthers({});
}

std::expected<JournalContents, QString> JournalFolder::read() const
{
    auto root = readObject(m_path + QLatin1Char('/') + kSessionFile);
    if (!root)
        return std::unexpected(root.error());
    if (auto header = checkHeader(*root, kSessionFormat); !header)
        return std::unexpected(header.error());
    const QJsonValue photos = root->value(QLatin1String("photos"));
    if (!photos.isArray() || photos.toArray().size() > kMaxPhotos)
        return std::unexpected(QStringLiteral("Die Fotoliste fehlt oder ist zu lang."));

    JournalContents contents;
    QSet<QUuid> seen;
    for (const QJsonValue& value : photos.toArray()) {
        auto entry = readEntry(value);
        if (!entry)
            return std::unexpected(entry.error());
        if (seen.contains(entry->id))
            return std::unexpected(QStringLiteral("Ein Foto steht zweimal in der Fotoliste."));
        seen.insert(entry->id);
        const QString name = QFileInfo(entry->path).fileName();
        if (auto problem = fileProblem(*entry)) {
            contents.skipped.append(QStringLiteral("„%1“: %2").arg(name, *problem));
            continue;
        }
        RestorablePhoto photo{*entry, {}, {}, {}};
        const QString photoPath = m_path + QLatin1Char('/') + photoFileName(entry->id);
        if (QFileInfo::exists(photoPath) || QFileInfo(photoPath).isSymLink()) {
            auto record = readObject(photoPath);
            std::expected<void, QString> read = record ? checkHeader(*record, kPhotoFormat)
                                                       : std::expected<void, QString>(std::unexpected(record.error()));
            if (read)
                read = readPhotoRecord(*record, photo);
            if (!read) {
                contents.skipped.append(
                    QStringLiteral("„%1“: Die gespeicherten Änderungen sind unbrauchbar. %2").arg(name, read.error()));
                continue;
            }
        }
        contents.photos.append(std::move(photo));
    }
    const QJsonValue selection = root->value(QLatin1String("selection"));
    if (!selection.isUndefined() && !selection.isArray())
        return std::unexpected(QStringLiteral("Die Auswahl ist ungültig."));
    for (const QJsonValue& value : selection.toArray()) {
        const QUuid id = QUuid::fromString(value.toString());
        if (seen.contains(id) && !contents.selection.contains(id))
            contents.selection.append(id);
    }
    return contents;
}

std::expected<void, QString> JournalFolder::readPhotoRecord(const QJsonObject& record, RestorablePhoto& photo) const
{
    if (QUuid::fromString(record.value(QLatin1String("id")).toString()) != photo.entry.id)
        return std::unexpected(QStringLiteral("Sie gehören zu einem anderen Foto."));
    const QJsonArray size = record.value(QLatin1String("originalSize")).toArray();
    const double w = size.size() == 2 ? size[0].toDouble(-1) : -1;
    const double h = size.size() == 2 ? size[1].toDouble(-1) : -1;
    if (!(w >= 1 && h >= 1 && w * h <= double(SourceImage::kMaxPixels)) || w != std::floor(w) || h != std::floor(h))
        return std::unexpected(QStringLiteral("Die Bildgröße ist ungültig."));
    photo.originalSize = QSize(int(w), int(h));
    const QJsonValue original = record.value(QLatin1String("originalFile"));
    if (!original.isUndefined()) {
        if (!isOriginalName(original.toString(), photo.entry.id))
            return std::unexpected(QStringLiteral("Der Name des neuen Originals ist ungültig."));
        photo.originalPath = m_path + QLatin1Char('/') + original.toString();
        if (!identityOf(photo.originalPath))
            return std::unexpected(QStringLiteral("Das neue Original fehlt oder ist keine reguläre Datei."));
    }
    const QJsonValue edits = record.value(QLatin1String("edits"));
    if (!edits.isObject())
        return std::unexpected(QStringLiteral("Die Bearbeitungen fehlen."));
    auto state = editStateFromJsonObject(edits.toObject(), photo.originalSize, EditsSource::written);
    if (!state)
        return std::unexpected(state.error());
    photo.edits = std::move(*state);
    return {};
}

std::unique_ptr<JournalLock> JournalLock::acquire(const JournalFolder& folder)
{
    if (!folder.create())
        return nullptr;
    const QByteArray path = nativePath(folder.path() + QLatin1Char('/') + kLockFile);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    // The pid is for people looking at the folder; the lock itself is what tells a live session.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != ssize_t(pid.size())) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<JournalLock>(new JournalLock(fd));
}

JournalLock::~JournalLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace lumora

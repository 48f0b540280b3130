#include "pipeline/CachedRaster.h"

#include "pipeline/SourceImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUuid>
#include <mutex>

namespace lumora {

namespace {

const QString kPrefix = QStringLiteral("originals-");

/// Removes the folders of processes that are gone (a crash, a kill) and the folder of this
/// process when it ends.
struct FolderOfThisProcess {
    QString path;

    FolderOfThisProcess()
    {
        const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir dir(base.isEmpty() ? QDir::tempPath() : base);
        dir.mkpath(QStringLiteral("."));
        for (const QString& name : dir.entryList({kPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString pid = name.mid(kPrefix.size());
            if (!QFile::exists(QStringLiteral("/proc/") + pid))
                QDir(dir.filePath(name)).removeRecursively();
        }
        path = dir.filePath(kPrefix + QString::number(QCoreApplication::applicationPid()));
        QDir().mkpath(path);
    }
    ~FolderOfThisProcess() { QDir(path).removeRecursively(); }
};

} // namespace

QString CachedRaster::folder()
{
    static const FolderOfThisProcess folder;
    return folder.path;
}

std::shared_ptr<const CachedRaster> CachedRaster::store(const QImage& raster)
{
    if (raster.isNull())
        return nullptr;
    const QImage pixels = raster.format() == QImage::Format_ARGB32_Premultiplied
                              ? raster
                              : raster.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QString path = QDir(folder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".raw");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) // only the owner reads it: the default permissions of the cache folder
        return nullptr;
    bool written = true;
    const qsizetype rowBytes = qsizetype(pixels.width()) * 4;
    for (int y = 0; y < pixels.height() && written; ++y)
        written = file.write(reinterpret_cast<const char*>(pixels.constScanLine(y)), rowBytes) == rowBytes;
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        QFile::remove(path);
        return nullptr;
    }
    return std::shared_ptr<const CachedRaster>(new CachedRaster(path, pixels.size()));
}

CachedRaster::~CachedRaster()
{
    QFile::remove(m_path);
}

std::expected<QImage, Error> CachedRaster::read() const
{
    const auto damaged = [] {
        return std::unexpected(Error{decoderErrors::domain, decoderErrors::unreadable,
                                     QStringLiteral("Das zwischengespeicherte Bild ist nicht mehr lesbar.")});
    };
    QFile file(m_path);
    const qint64 rowBytes = qint64(m_size.width()) * 4;
    if (!file.open(QIODevice::ReadOnly) || file.size() != rowBytes * m_size.height())
        return damaged();
    QImage image(m_size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return damaged();
    for (int y = 0; y < m_size.height(); ++y) {
        if (file.read(reinterpret_cast<char*>(image.scanLine(y)), rowBytes) != rowBytes)
            return damaged();
    }
    return image;
}

} // namespace lumora

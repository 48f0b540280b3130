#include "model/PhotoItem.h"

#include "base/NativePath.h"

#include <QDir>
#include <QFileInfo>

namespace lumora {

PhotoSnapshot snapshotOf(const PhotoItem& photo, int index)
{
    return PhotoSnapshot{index,       photo.id,         photo.url,          photo.originalCI,
                         photo.edits, photo.loadedFrom, photo.cameraRawFile};
}

QString besideRawName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == fileName.size() - 1)
        return fileName + QStringLiteral(".jpg");
    return fileName.left(dot) + QLatin1Char('-') + fileName.mid(dot + 1) + QStringLiteral(".jpg");
}

OwnFileTarget ownFileTarget(const QUrl& url, const FilePlace& loadedFrom, bool cameraRawFile)
{
    const QString path = url.toLocalFile();
    if (!cameraRawFile)
        return {path, loadedFrom};
    const QFileInfo file(path);
    const QString beside = file.dir().filePath(besideRawName(file.fileName()));
    // The same folder as the RAW file was loaded from, under the new name.
    FilePlace place = loadedFrom;
    if (!place.isEmpty())
        place.name = nativePath(besideRawName(file.fileName()));
    return {beside, place};
}

OwnFileTarget ownFileTarget(const PhotoSnapshot& photo)
{
    return ownFileTarget(photo.url, photo.loadedFrom, photo.cameraRawFile);
}

QList<Arrow> PhotoItem::arrows() const
{
    QList<Arrow> list;
    for (const Overlay& overlay : edits.freehandOverlays) {
        if (const auto* arrow = std::get_if<Arrow>(&overlay.shape))
            list.append(*arrow);
    }
    return list;
}

} // namespace lumora

#pragma once

#include "Fixtures.h"
#include "model/ImageProcessor.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <limits>

namespace lumora::test {

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// Writes `bytes` to `folder/name` and returns the file's URL (empty when it cannot be written).
inline QUrl writePhotoFile(const QString& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = QDir(folder).filePath(name);
    return writeAll(path, bytes) ? QUrl::fromLocalFile(path) : QUrl();
}

/// A list entry for the file at `url`, its source read (empty when it cannot be read).
inline PhotoItem photoAt(const QUrl& url)
{
    PhotoItem photo;
    photo.url = url;
    photo.originalCI = SourceImage::fromFile(url.toLocalFile()).value_or(SourceImage());
    photo.loadedFrom = placeOf(url.toLocalFile());
    photo.cameraRawFile = photo.originalCI.isCameraRaw();
    return photo;
}

/// The ids of the processor's photos.
inline QSet<QUuid> photoIds(const ImageProcessor& processor)
{
    QSet<QUuid> ids;
    for (const PhotoItem& photo : processor.photos())
        ids.insert(photo.id);
    return ids;
}

/// A small JPEG of one colour.
inline QByteArray jpegOf(QColor color, int w = 64, int h = 48)
{
    return encodeWithVips(solid(w, h, color), QStringLiteral("jpg"));
}

/// `count` JPEGs named 1.jpg, 2.jpg, … (after `prefix`) in `dir`, each of its own colour.
inline QList<QUrl> writePhotos(const QTemporaryDir& dir, int count, int w = 64, int h = 48, const QString& prefix = {})
{
    QList<QUrl> urls;
    for (int i = 1; i <= count; ++i)
        urls.append(writePhotoFile(dir.path(), QStringLiteral("%1%2.jpg").arg(prefix).arg(i),
                                   jpegOf(QColor::fromHsv((i * 47) % 360, 200, 220), w, h)));
    return urls;
}

/// How long the waits below give background work: no limit of their own (a hang is caught by
/// the test label's time limit, and sanitizer builds are many times slower).
inline constexpr int kNoTimeLimit = std::numeric_limits<int>::max();

/// Loads `urls` and waits until the photos are in and every preview is rendered.
inline bool loadAndWait(ImageProcessor& processor, const QList<QUrl>& urls, int timeoutMs = kNoTimeLimit)
{
    bool appended = false;
    processor.loadPhotos(urls, [&] { appended = true; });
    return QTest::qWaitFor([&] { return appended && !processor.isBusy(); }, timeoutMs);
}

/// Waits until background renders have been delivered.
inline bool waitIdle(ImageProcessor& processor, int timeoutMs = kNoTimeLimit)
{
    return QTest::qWaitFor([&] { return !processor.isBusy() && !processor.isBatchProcessing(); }, timeoutMs);
}

} // namespace lumora::test

#pragma once

#include "base/Error.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <expected>
#include <memory>

namespace lumora {

/// A raster kept in a file of the user's cache folder instead of in memory: the pixels of an
/// original that baking or cropping produced, which a photo keeps for the whole session. The
/// file holds the Format_ARGB32_Premultiplied rows as they are (lossless) and is removed when
/// the last reference goes; files of a process that ended without removing them are removed by
/// the next one. Thread-safe (immutable after creation).
class CachedRaster {
public:
    /// Writes `raster` into a new file of the cache folder. None when it cannot be written.
    [[nodiscard]] static std::shared_ptr<const CachedRaster> store(const QImage& raster);
    ~CachedRaster();
    CachedRaster(const CachedRaster&) = delete;
    CachedRaster& operator=(const CachedRaster&) = delete;

    [[nodiscard]] QSize size() const { return m_size; }
    [[nodiscard]] QString path() const { return m_path; }
    /// Reads the pixels back (a new image each time). Fails with decoderErrors when the file
    /// was damaged or removed from outside.
    [[nodiscard]] std::expected<QImage, Error> read() const;

    /// The folder this process keeps its files in (created on first use).
    [[nodiscard]] static QString folder();

private:
    CachedRaster(QString path, QSize size) : m_path(std::move(path)), m_size(size) {}

    QString m_path;
    QSize m_size;
};

} // namespace lumora

#pragma once

#include "base/Error.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <expected>
#include <optional>

namespace lumora {
class OpenRegularFile;
}

namespace lumora::raw {

/// Camera RAW files read through LibRaw: from bytes already in memory, or for the header and the
/// preview alone from an open file (LibRaw never opens a path). Every function is thread-safe
/// (each call has its own decoder) and fails with an Error of the "Decoder" domain whose German
/// text is the reason alone ("Die Sensordaten …"); the caller puts it in its sentence and names
/// the file.

/// What a RAW file's header says, read without decoding the sensor data.
struct Header {
    QSize size;   ///< upright pixel size of the full decode
    QSize sensor; ///< the sensor's recorded area as stored (the raw data's width × height)
    int flip = 0; ///< LibRaw's orientation code: 0 none, 3 half turn, 5 left, 6 right
    /// Where the largest embedded preview's JPEG bytes lie in the file, when it has a JPEG
    /// preview that can be read straight from there (length 0 otherwise).
    qint64 previewOffset = 0;
    qint64 previewLength = 0;
};

/// Whether `bytes` may be a camera RAW file by their first bytes: a RAW format of its own, or a
/// TIFF file (which readHeader tells apart from a plain TIFF).
[[nodiscard]] bool mayBeRaw(const QByteArray& bytes);

/// Reads the header; none when the bytes are a TIFF file that is no RAW file (or no RAW file at
/// all). Refuses RAW files whose sensor data claim more than `maxPixels`, end before their
/// sensor data can be complete, or that LibRaw does not read.
[[nodiscard]] std::optional<std::expected<Header, Error>> readHeader(const QByteArray& bytes, qint64 maxPixels);

/// readHeader of an open file, read only where LibRaw looks for the header (the first bytes, the
/// directories and metadata it points to), never its sensor data; with the embedded JPEG
/// preview's bytes read out when it has one (empty otherwise). The whole file can be large
/// (50 MB for a camera of 24 MP) while a card needs little of it.
struct FileHeader {
    Header header;
    QByteArray previewJpeg;
};
[[nodiscard]] std::optional<std::expected<FileHeader, Error>> readFileHeader(const OpenRegularFile& file,
                                                                             qint64 maxPixels);

/// Decodes the sensor data at full size: camera white balance, the camera's colour matrix to
/// sRGB (sRGB tone curve), 8 bits per channel, turned upright. Format_ARGB32_Premultiplied.
[[nodiscard]] std::expected<QImage, Error> decodeFull(const QByteArray& bytes);
/// The same at half the size in each direction (each 2 × 2 block of the mosaic is one pixel),
/// much faster; for display sizes.
[[nodiscard]] std::expected<QImage, Error> decodeHalf(const QByteArray& bytes);

/// The largest embedded preview: its encoded JPEG bytes, or none when the file holds no JPEG
/// preview (or it cannot be read out). The pixels are as stored: turn them with `flip`.
/// Where Header::previewLength is set, the same bytes are found there without LibRaw.
[[nodiscard]] std::optional<QByteArray> embeddedJpeg(const QByteArray& bytes);

/// `image` turned by LibRaw's orientation code (see Header::flip).
[[nodiscard]] QImage turned(const QImage& image, int flip);

} // namespace lumora::raw

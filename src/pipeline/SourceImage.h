#pragma once

#include "base/Error.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

namespace lumora {

namespace raw {
struct Header;
}

/// Errors of reading and decoding photos: domain "Decoder"; every failure has the one code.
namespace decoderErrors {
inline constexpr QLatin1StringView domain{"Decoder"};
enum Code : int {
    unreadable = -1, ///< not a readable image, too large, or decoding failed
};
} // namespace decoderErrors

/// `error` told about the file at `path`: "Die Datei ist kein lesbares Bild: …" becomes
/// "„IMG_0042.jpg“ ist kein lesbares Bild: …"; other texts get the quoted name in front.
[[nodiscard]] Error namingFile(const Error& error, const QString& path);

/// How a decode band by band ended.
enum class BandDecode {
    complete, ///< every band was handed over
    stopped,  ///< the taker stopped it (or gave no raster to decode into)
    refused,  ///< this original is decoded whole only (decode()), or its data are damaged
};

/// For main(), before any thread starts (it sets an environment variable): the decoders load
/// none of the format modules that libvips otherwise loads when it starts (PDF, slides, JPEG XL,
/// ImageMagick's formats: tens of milliseconds and megabytes for every process, for formats
/// that are never opened here), and load the HEIF module only when a HEIF photo comes. Does
/// nothing when the environment already says where libvips lives (VIPSHOME).
void loadOnlyUsedDecoders();

/// A photo's upright original ("originalCI"): either the file's encoded bytes, decoded on
/// demand, or a raster (for originals replaced by baking or cropping). Cheap to copy: all
/// data is shared and immutable, so a copy can be handed to any thread.
///
/// Decoding applies the EXIF orientation (the result is upright), converts an embedded
/// ICC profile (or CMYK) to sRGB, drops bit depth to 8 and returns
/// QImage::Format_ARGB32_Premultiplied. The extent of the original is (0, 0, size()).
/// Formats: JPEG, PNG, HEIC, WebP, TIFF and GIF (its first frame) through libvips, BMP through
/// Qt's reader, camera RAW files through LibRaw. A RAW file decodes its sensor data at full
/// size (decode()); display sizes (decodeToFit) start from its embedded preview when that is
/// large enough, else from a half-size decode of the sensor data.
class SourceImage {
public:
    SourceImage() = default;

    /// Decoders refuse images with more pixels than this (decompression bombs).
    static constexpr qint64 kMaxPixels = 250'000'000;

    /// Reads the header of encoded bytes (no pixel decoding). Fails with decoderErrors
    /// when the bytes are not a readable image or claim more than kMaxPixels.
    [[nodiscard]] static std::expected<SourceImage, Error> fromEncoded(QByteArray bytes);
    /// Reads the file and then behaves like fromEncoded; every error names the file. A camera RAW
    /// file is read only for its header and embedded preview (cards and display sizes come from
    /// that); its sensor data are read from the file when they are decoded, until keepWhole() has
    /// kept its bytes. A read that finds another version of the file (its size, modification time
    /// or inode changed) fails.
    [[nodiscard]] static std::expected<SourceImage, Error> fromFile(const QString& path);
    /// fromFile, but no bytes are kept: each decode reads the file again (for a batch of many
    /// files that is rendered once, so that their bytes need not all be held). A decode fails
    /// when the file can no longer be read or is another version of it than when it was read.
    [[nodiscard]] static std::expected<SourceImage, Error> fromFileReadOnDemand(const QString& path);
    /// An original that is already a raster (any format; stored premultiplied ARGB32).
    [[nodiscard]] static SourceImage fromRaster(QImage raster);
    /// The same, with the pixels kept in a file of the user's cache folder instead of in memory
    /// (for originals a photo keeps for the session); the file goes with the last copy. Falls
    /// back to fromRaster when the file cannot be written.
    [[nodiscard]] static SourceImage fromRasterInCache(const QImage& raster);

    [[nodiscard]] bool isNull() const { return !m_data; }
    /// Upright pixel size of the full original.
    [[nodiscard]] QSize size() const;
    /// The encoded file bytes this original was read from; empty for rasters.
    [[nodiscard]] QByteArray encodedBytes() const;
    [[nodiscard]] bool isRaster() const;
    /// For a camera RAW file read by fromFile: reads and keeps its whole bytes now (for all copies),
    /// so that later decodes need the file no more (it may be on a card that is taken out). Does
    /// nothing for other originals or when they are kept already. Thread-safe.
    [[nodiscard]] std::expected<void, Error> keepWhole() const;
    /// The bytes of the file at `path` when this original holds them already: it keeps the bytes
    /// it read from a file, and the file at `path` is still that version of it (the same size,
    /// modification time and inode). None otherwise: the file is then to be read.
    [[nodiscard]] std::optional<QByteArray> heldBytesOf(const QString& path) const;
    /// Whether this original is a camera RAW file (decoded from its sensor data through LibRaw).
    [[nodiscard]] bool isCameraRaw() const;
    /// A camera RAW file's sensor size (the raw data's width × height as stored); empty otherwise.
    [[nodiscard]] QSize sensorSize() const;

    /// Decodes the whole image at full size. Thread-safe. Fails with decoderErrors on
    /// corrupt or truncated data.
    [[nodiscard]] std::expected<QImage, Error> decode() const;
    /// Decodes at full size band by band, each of `bandRows` rows (the last one fewer), for
    /// plain JPEG photos (sRGB, upright, no profile, undamaged), which then never need the whole
    /// raster in one place: `into(firstRow, rows)` gives the raster the band is written into,
    /// `done(band, firstRow)` takes it written (false stops). The pixels are decode()'s. Refused
    /// (at once, or at the first damage found, after bands handed over) for any other original:
    /// decode() then tells what it is. Thread-safe.
    [[nodiscard]] BandDecode decodeInBands(int bandRows, const std::function<QImage(int firstRow, int rows)>& into,
                                           const std::function<bool(QImage& band, int firstRow)>& done) const;
    /// Decodes downscaled so the result fits inside `box` (never upscaled), using the
    /// decoder's shrink-on-load where the format has one. Colours are converted and damaged
    /// data is treated exactly as by decode(), so both show the same picture and fail alike.
    /// Thread-safe.
    [[nodiscard]] std::expected<QImage, Error> decodeToFit(QSize box) const;
    /// Decodes at about `scale` × size() (scale ≥ 1 means full size).
    [[nodiscard]] std::expected<QImage, Error> decodeScaled(double scale) const;

    /// Identifies the shared data: equal for copies of the same original, for caches.
    [[nodiscard]] const void* identity() const { return m_data.get(); }

    friend bool operator==(const SourceImage& a, const SourceImage& b) { return a.m_data == b.m_data; }

private:
    [[nodiscard]] static std::expected<SourceImage, Error> fromRawBytes(QByteArray bytes, const raw::Header& header);
    [[nodiscard]] static std::expected<SourceImage, Error> fromBmpBytes(QByteArray bytes);
    /// fromEncoded of bytes known to be no camera RAW file.
    [[nodiscard]] static std::expected<SourceImage, Error> fromPlainBytes(QByteArray bytes);
    [[nodiscard]] static std::expected<SourceImage, Error> fromOpenFile(const QString& path, bool keepBytes);
    /// A RAW file's embedded JPEG (`jpeg`, which may point into `owner`'s bytes); none while
    /// neither it nor the file's bytes are kept, or when the file has no JPEG preview.
    struct PreviewBytes {
        QByteArray owner;
        QByteArray jpeg;
    };
    [[nodiscard]] std::optional<PreviewBytes> rawPreviewBytes() const;
    /// The file's whole bytes as held in memory: those kept, or a RAW file's once keepWhole()
    /// has kept them; empty otherwise.
    [[nodiscard]] QByteArray heldWhole() const;
    /// The encoded bytes: kept, or read from the file now.
    [[nodiscard]] std::expected<QByteArray, Error> encodedNow() const;
    /// decode() of these bytes of this original.
    [[nodiscard]] std::expected<QImage, Error> decodeBytes(const QByteArray& encoded) const;

    struct Data;
    struct RawKept;
    std::shared_ptr<const Data> m_data;
};

} // namespace lumora

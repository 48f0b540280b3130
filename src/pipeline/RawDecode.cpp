#include "pipeline/RawDecode.h"

#include "pipeline/Raster.h"
#include "pipeline/SourceImage.h"

#include <QTransform>
#include <libraw/libraw.h>

#include <memory>

namespace lumora::raw {

namespace {

Error reason(const QString& text)
{
    return Error{decoderErrors::domain, decoderErrors::unreadable, text};
}

/// LibRaw's error code as the German reason.
Error failure(int code)
{
    switch (code) {
    case LIBRAW_FILE_UNSUPPORTED: return reason(QStringLiteral("Dieses Kamera-RAW-Format wird nicht unterstützt."));
    case LIBRAW_IO_ERROR: return reason(QStringLiteral("Die Datei ist unvollständig, es fehlen Sensordaten."));
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_MEMPOOL_OVERFLOW: return reason(QStringLiteral("Nicht genug Speicher für das Bild."));
    case LIBRAW_TOO_BIG: return reason(QStringLiteral("Das Bild ist zu groß."));
    default: return reason(QStringLiteral("Die Sensordaten sind beschädigt."));
    }
}

/// One decoder over bytes the caller keeps alive. LibRaw's data-error hook counts damage it
/// reads past (a bad stretch of compressed data), which we refuse rather than show.
struct Decoder {
    std::unique_ptr<LibRaw> libraw = std::make_unique<LibRaw>();
    int dataErrors = 0;

    Decoder()
    {
        libraw->set_dataerror_handler(
            [](void* self, const char*, const int) { ++static_cast<Decoder*>(self)->dataErrors; }, this);
    }

    int open(const QByteArray& bytes)
    {
        return libraw->open_buffer(const_cast<char*>(bytes.constData()), size_t(bytes.size()));
    }
};

/// Whether the file is long enough for its sensor data: uncompressed data in one piece must be
/// there whole; any other must at least begin inside the file. LibRaw would read a file cut
/// short as if the missing part were black, or stop only at the full decode.
bool holdsSensorData(LibRaw& libraw, qint64 fileSize)
{
    const auto& unpacker = libraw.get_internal_data_pointer()->unpacker_data;
    const auto& sizes = libraw.imgdata.sizes;
    const qint64 offset = unpacker.data_offset;
    if (offset <= 0 || offset >= fileSize)
        return false;
    const bool tiled = unpacker.tile_width != 0 && unpacker.tile_width < sizes.raw_width;
    if (unpacker.tiff_compress != 1 || tiled || unpacker.tiff_bps == 0 || unpacker.tiff_bps > 32
        || unpacker.tiff_samples > 4)
        return true;
    const qint64 needed = qint64(sizes.raw_width) * sizes.raw_height * unpacker.tiff_samples * unpacker.tiff_bps / 8;
    return offset + needed <= fileSize;
}

/// Our settings for turning sensor data into the displayed photo.
void setDevelopOptions(LibRaw& libraw, bool half)
{
    auto& params = libraw.imgdata.params;
    params.use_camera_wb = 1;     // the white balance the camera recorded
    params.use_camera_matrix = 1; // the camera's own colour matrix to sRGB
    params.output_color = 1;      // sRGB primaries…
    params.gamm[0] = 1.0 / 2.4;   // …and sRGB's tone curve (LibRaw defaults to BT.709's)
    params.gamm[1] = 12.92;
    params.no_auto_bright = 1;     // the exposure as shot: no brightening from the histogram…
    params.adjust_maximum_thr = 0; // …nor from a dark photo's highest value taken for the white level
    params.output_bps = 8;
    params.half_size = half ? 1 : 0;
    params.user_qual = 3; // AHD demosaicing
}

/// Packs LibRaw's 8-bit RGB (or grey) rows into a premultiplied ARGB32 raster.
std::expected<QImage, Error> toRaster(const libraw_processed_image_t& image)
{
    if (image.type != LIBRAW_IMAGE_BITMAP || image.bits != 8 || (image.colors != 3 && image.colors != 1))
        return std::unexpected(failure(LIBRAW_UNSPECIFIED_ERROR));
    QImage raster = newRaster(QSize(image.width, image.height));
    if (raster.isNull())
        return std::unexpected(failure(LIBRAW_UNSUFFICIENT_MEMORY));
    const int colors = image.colors;
    for (int y = 0; y < image.height; ++y) {
        const uchar* src = image.data + qsizetype(y) * image.width * colors;
        auto* dst = reinterpret_cast<quint32*>(raster.scanLine(y));
        for (int x = 0; x < image.width; ++x, src += colors) {
            const quint32 r = src[0];
            const quint32 g = src[colors == 3 ? 1 : 0];
            const quint32 b = src[colors == 3 ? 2 : 0];
            dst[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    return raster;
}

std::expected<QImage, Error> develop(const QByteArray& bytes, bool half)
{
    Decoder decoder;
    LibRaw& libraw = *decoder.libraw;
    if (const int opened = decoder.open(bytes); opened != LIBRAW_SUCCESS)
        return std::unexpected(failure(opened));
    if (!holdsSensorData(libraw, bytes.size()))
        return std::unexpected(failure(LIBRAW_IO_ERROR));
    setDevelopOptions(libraw, half);
    if (const int unpacked = libraw.unpack(); unpacked != LIBRAW_SUCCESS)
        return std::unexpected(failure(unpacked));
    if (decoder.dataErrors > 0)
        return std::unexpected(failure(LIBRAW_DATA_ERROR));
    if (const int processed = libraw.dcraw_process(); processed != LIBRAW_SUCCESS)
        return std::unexpected(failure(processed));
    int code = LIBRAW_SUCCESS;
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> image(
        libraw.dcraw_make_mem_image(&code), &LibRaw::dcraw_clear_mem);
    if (!image)
        return std::unexpected(failure(code == LIBRAW_SUCCESS ? LIBRAW_UNSUFFICIENT_MEMORY : code));
    libraw.recycle(); // the sensor data and working buffers go before the raster is packed
    return toRaster(*image);
}

bool startsWith(const QByteArray& bytes, qsizetype offset, QByteArrayView magic)
{
    return bytes.size() >= offset + magic.size() && QByteArrayView(bytes).sliced(offset, magic.size()) == magic;
}

bool isTiff(const QByteArray& bytes)
{
    return startsWith(bytes, 0, QByteArrayView("II*\0", 4)) || startsWith(bytes, 0, QByteArrayView("MM\0*", 4));
}

} // namespace

bool mayBeRaw(const QByteArray& bytes)
{
    // Formats of their own, told by their first bytes: Fujifilm, Olympus, Panasonic, Canon CR3
    // and CRW, Sigma, Minolta. DNG, CR2, NEF, ARW, PEF and others are TIFF files.
    return startsWith(bytes, 0, "FUJIFILM") || startsWith(bytes, 0, "IIRO") || startsWith(bytes, 0, "IIRS")
           || startsWith(bytes, 0, "MMOR") || startsWith(bytes, 0, QByteArrayView("IIU\0", 4))
           || (startsWith(bytes, 4, "ftyp") && startsWith(bytes, 8, "crx ")) || startsWith(bytes, 6, "HEAPCCDR")
           || startsWith(bytes, 0, "FOVb") || startsWith(bytes, 0, QByteArrayView("\0MRM", 4)) || isTiff(bytes);
}

std::optional<std::expected<Header, Error>> readHeader(const QByteArray& bytes, qint64 maxPixels)
{
    if (!mayBeRaw(bytes))
        return std::nullopt;
    Decoder decoder;
    LibRaw& libraw = *decoder.libraw;
    const int opened = decoder.open(bytes);
    // LibRaw's identification tells a TIFF-based RAW file from a plain TIFF (reading no sensor data).
    if (isTiff(bytes) && (opened != LIBRAW_SUCCESS || libraw.imgdata.idata.raw_count == 0))
        return std::nullopt;
    if (opened != LIBRAW_SUCCESS)
        return std::unexpected(failure(opened));
    const auto& sizes = libraw.imgdata.sizes;
    const qint64 sensorPixels = qint64(sizes.raw_width) * sizes.raw_height;
    if (sizes.raw_width == 0 || sizes.raw_height == 0 || sizes.width == 0 || sizes.height == 0)
        return std::unexpected(failure(LIBRAW_DATA_ERROR));
    if (sensorPixels > maxPixels || qint64(sizes.width) * sizes.height > maxPixels)
        return std::unexpected(reason(QStringLiteral("Das Bild ist mit %1 × %2 Pixeln zu groß.")
                                          .arg(std::max(sizes.raw_width, sizes.width))
                                          .arg(std::max(sizes.raw_height, sizes.height))));
    if (!holdsSensorData(libraw, bytes.size()))
        return std::unexpected(failure(LIBRAW_IO_ERROR));
    Header header;
    header.sensor = QSize(sizes.raw_width, sizes.raw_height);
    header.flip = sizes.flip;
    const libraw_thumbnail_t& thumb = libraw.imgdata.thumbnail;
    const qint64 previewAt = libraw.get_internal_data_pointer()->internal_data.toffset;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG && previewAt > 0 && thumb.tlength > 0
        && previewAt + thumb.tlength <= bytes.size() && startsWith(bytes, previewAt, "\xFF\xD8")) {
        header.previewOffset = previewAt;
        header.previewLength = thumb.tlength;
    }
    setDevelopOptions(libraw, false);
    if (libraw.adjust_sizes_info_only() != LIBRAW_SUCCESS)
        return std::unexpected(failure(LIBRAW_DATA_ERROR));
    header.size = QSize(sizes.iwidth, sizes.iheight);
    if (header.size.isEmpty())
        return std::unexpected(failure(LIBRAW_DATA_ERROR));
    return header;
}

std::expected<QImage, Error> decodeFull(const QByteArray& bytes)
{
    return develop(bytes, false);
}

std::expected<QImage, Error> decodeHalf(const QByteArray& bytes)
{
    return develop(bytes, true);
}

std::optional<QByteArray> embeddedJpeg(const QByteArray& bytes)
{
    Decoder decoder;
    LibRaw& libraw = *decoder.libraw;
    if (decoder.open(bytes) != LIBRAW_SUCCESS || libraw.unpack_thumb() != LIBRAW_SUCCESS)
        return std::nullopt;
    const libraw_thumbnail_t& thumb = libraw.imgdata.thumbnail;
    if (thumb.tformat != LIBRAW_THUMBNAIL_JPEG || !thumb.thumb || thumb.tlength < 4)
        return std::nullopt;
    return QByteArray(thumb.thumb, qsizetype(thumb.tlength));
}

QImage turned(const QImage& image, int flip)
{
    switch (flip) {
    case 3: return image.transformed(QTransform().rotate(180));
    case 5: return image.transformed(QTransform().rotate(-90));
    case 6: return image.transformed(QTransform().rotate(90));
    default: return image;
    }
}

} // namespace lumora::raw

#include "pipeline/RawDecode.h"

#include "base/RegularFile.h"
#include "pipeline/Raster.h"
#include "pipeline/SourceImage.h"

#include <QTransform>
#include <libraw/libraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

/// LibRaw's input from an open file, read where LibRaw seeks, through a window of the file kept
/// in memory: its header parsing reads two and four bytes at a time. A read error reads as the
/// end of the file, which LibRaw reports as a file it cannot read.
class FileStream final : public LibRaw_abstract_datastream {
public:
    explicit FileStream(const OpenRegularFile& file) : m_file(file), m_size(file.identity().size) {}

    int valid() override { return 1; }
    int read(void* into, size_t size, size_t count) override
    {
        if (size == 0 || count == 0)
            return 0;
        // As LibRaw's reader of memory buffers: what is left of the file at most, and a last
        // item read in part counts as read.
        const qint64 left = std::max<qint64>(m_size - m_position, 0);
        const qint64 wanted = count > size_t(left) / size ? left : qint64(size * count);
        auto* out = static_cast<char*>(into);
        qint64 done = 0;
        while (done < wanted) {
            if (!fill())
                break;
            const qint64 step = std::min(wanted - done, m_windowStart + m_window.size() - m_position);
            std::memcpy(out + done, m_window.constData() + (m_position - m_windowStart), size_t(step));
            done += step;
            m_position += step;
        }
        return int((done + qint64(size) - 1) / qint64(size));
    }
    int seek(INT64 offset, int whence) override
    {
        qint64 target = offset;
        if (whence == SEEK_CUR)
            target = m_position + offset;
        else if (whence == SEEK_END)
            target = m_size + offset;
        m_position = std::clamp<qint64>(target, 0, m_size);
        return 0;
    }
    INT64 tell() override { return m_position; }
    INT64 size() override { return m_size; }
    int get_char() override
    {
        if (!fill())
            return -1;
        return uchar(m_window[qsizetype(m_position++ - m_windowStart)]);
    }
    char* gets(char* into, int size) override
    {
        if (size <= 0 || m_position >= m_size)
            return nullptr;
        int n = 0;
        while (n < size - 1) {
            const int c = get_char();
            if (c < 0)
                break;
            into[n++] = char(c);
            if (c == '\n')
                break;
        }
        into[n] = '\0';
        return n > 0 ? into : nullptr;
    }
    int scanf_one(const char* format, void* value) override
    {
        // One word: what LibRaw's reader of memory buffers scans, at most 24 characters.
        char word[32] = {};
        const qint64 start = m_position;
        int n = 0;
        while (n < 24) {
            const int c = get_char();
            if (c < 0)
                break;
            word[n++] = char(c);
        }
        const int scanned = std::sscanf(word, format, value);
        int used = 0;
        if (scanned > 0) {
            while (
                used < n
                && (used == 0 || (word[used] != ' ' && word[used] != '\t' && word[used] != '\n' && word[used] != '\0')))
                ++used;
        }
        m_position = start + used;
        return scanned;
    }
    int eof() override { return m_position >= m_size ? 1 : 0; }
    void* make_jas_stream() override { return nullptr; }

private:
    /// Makes the window hold the byte at the position; false at the end of the file.
    bool fill()
    {
        if (m_position >= m_size)
            return false;
        if (m_position >= m_windowStart && m_position < m_windowStart + m_window.size())
            return true;
        constexpr qint64 kWindow = 64 * 1024;
        m_windowStart = m_position;
        m_window.resize(qsizetype(std::min(kWindow, m_size - m_position)));
        auto got = m_file.readAt(m_windowStart, m_window.data(), m_window.size());
        m_window.truncate(got ? qsizetype(*got) : 0);
        return !m_window.isEmpty();
    }

    const OpenRegularFile& m_file;
    qint64 m_size = 0;
    qint64 m_position = 0;
    qint64 m_windowStart = 0;
    QByteArray m_window;
};

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

namespace {

/// What the header of a file LibRaw opened (with `opened` as its result) says; the bytes at the
/// preview's place are asked of `startsAt`. None for a TIFF file that is no RAW file.
template <typename StartsAt>
std::optional<std::expected<Header, Error>> headerOf(LibRaw& libraw, int opened, bool tiff, qint64 fileSize,
                                                     qint64 maxPixels, StartsAt startsAt)
{
    // LibRaw's identification tells a TIFF-based RAW file from a plain TIFF (reading no sensor data).
    if (tiff && (opened != LIBRAW_SUCCESS || libraw.imgdata.idata.raw_count == 0))
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
    if (!holdsSensorData(libraw, fileSize))
        return std::unexpected(failure(LIBRAW_IO_ERROR));
    Header header;
    header.sensor = QSize(sizes.raw_width, sizes.raw_height);
    header.flip = sizes.flip;
    const libraw_thumbnail_t& thumb = libraw.imgdata.thumbnail;
    const qint64 previewAt = libraw.get_internal_data_pointer()->internal_data.toffset;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG && previewAt > 0 && thumb.tlength > 0
        && previewAt + thumb.tlength <= fileSize && startsAt(previewAt, "\xFF\xD8")) {
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

/// The largest embedded JPEG preview of an opened file, or empty bytes.
QByteArray unpackedPreview(LibRaw& libraw)
{
    if (libraw.unpack_thumb() != LIBRAW_SUCCESS)
        return {};
    const libraw_thumbnail_t& thumb = libraw.imgdata.thumbnail;
    if (thumb.tformat != LIBRAW_THUMBNAIL_JPEG || !thumb.thumb || thumb.tlength < 4)
        return {};
    return QByteArray(thumb.thumb, qsizetype(thumb.tlength));
}

} // namespace

std::optional<std::expected<Header, Error>> readHeader(const QByteArray& bytes, qint64 maxPixels)
{
    if (!mayBeRaw(bytes))
        return std::nullopt;
    Decoder decoder;
    const int opened = decoder.open(bytes);
    return headerOf(*decoder.libraw, opened, isTiff(bytes), bytes.size(), maxPixels,
                    [&bytes](qint64 at, const char* magic) { return startsWith(bytes, at, magic); });
}

std::optional<std::expected<FileHeader, Error>> readFileHeader(const OpenRegularFile& file, qint64 maxPixels)
{
    auto first = file.readAt(0, 16);
    if (!first)
        return std::unexpected(reason(first.error().description));
    if (!mayBeRaw(*first))
        return std::nullopt;
    FileStream stream(file); // outlives the decoder that reads from it
    Decoder decoder;
    const int opened = decoder.libraw->open_datastream(&stream);
    QByteArray preview;
    auto header = headerOf(*decoder.libraw, opened, isTiff(*first), file.identity().size, maxPixels,
                           [&](qint64 at, const char* magic) {
                               // Read here whole: where it starts as a JPEG, these are the preview's bytes.
                               auto read = file.readAt(at, decoder.libraw->imgdata.thumbnail.tlength);
                               if (read && startsWith(*read, 0, magic))
                                   preview = std::move(*read);
                               return !preview.isEmpty();
                           });
    if (!header)
        return std::nullopt;
    if (!*header)
        return std::unexpected(header->error());
    if (preview.isEmpty())
        preview = unpackedPreview(*decoder.libraw);
    return FileHeader{**header, std::move(preview)};
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
    if (decoder.open(bytes) != LIBRAW_SUCCESS)
        return std::nullopt;
    QByteArray preview = unpackedPreview(*decoder.libraw);
    return preview.isEmpty() ? std::nullopt : std::optional(std::move(preview));
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

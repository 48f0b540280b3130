#include "pipeline/Encoders.h"

#include "base/Parallel.h"
#include "pipeline/JpegLayout.h"
#include "pipeline/VipsSupport.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace lumora {

namespace {

/// One strip's compression: libjpeg's state, its error exit and where it writes.
struct JpegRun {
    /// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
    /// to the call that is running.
    struct Errors {
        jpeg_error_mgr manager;
        std::jmp_buf back;
    };
    /// Where libjpeg writes: straight into the bytes that are handed on, grown by half their
    /// size at a time. libjpeg's own memory destination doubles a buffer by copying it, and its
    /// bytes were copied once more at the end.
    struct Destination {
        jpeg_destination_mgr manager;
        QByteArray bytes;
    };
    jpeg_compress_struct info{};
    Errors errors{};
    Destination destination{};
    std::vector<quint32> spareRows; ///< kRowsPerCall rows, for translucent rows laid over white
};

/// Rows handed to libjpeg per call: one row of 4:4:4 blocks (libjpeg's per-call work, thread-local
/// lookups among it, was measurable at one row per call).
constexpr int kRowsPerCall = 8;

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegRun::Errors*>(info->err)->back, 1);
}

/// Lays the translucent pixels of a premultiplied ARGB32 row over white; null when the row is
/// opaque (libjpeg-turbo then reads its B, G, R, X bytes as they are).
const quint32* overWhite(const quint32* row, int w, quint32* spare)
{
    quint32 all = 0xFFFFFFFFu; // without an early exit, so that the loop is vectorised
    for (int x = 0; x < w; ++x)
        all &= row[x];
    if ((all >> 24) == 0xFF)
        return row;
    for (int x = 0; x < w; ++x) {
        const quint32 p = row[x];
        const quint32 white = 255 - (p >> 24);
        spare[x] = 0xFF000000u | ((((p >> 16) & 0xFF) + white) << 16) | ((((p >> 8) & 0xFF) + white) << 8)
                   | ((p & 0xFF) + white);
    }
    return spare;
}

constexpr qsizetype kFirstOutputBytes = qsizetype(1) << 20;

/// Makes room in the destination for `room` more bytes after the first `used`; through
/// libjpeg's error exit when there is no memory for them.
void growDestination(j_compress_ptr info, qsizetype used, qsizetype room)
{
    auto& destination = *reinterpret_cast<JpegRun::Destination*>(info->dest);
    bool grown = true;
    try {
        destination.bytes.resize(used + room);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) { // outside the handler: the error exit jumps and never returns
        info->err->msg_code = JERR_OUT_OF_MEMORY;
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
    destination.manager.next_output_byte = reinterpret_cast<JOCTET*>(destination.bytes.data()) + used;
    destination.manager.free_in_buffer = size_t(destination.bytes.size() - used);
}

void writeInto(JpegRun& run, qsizetype firstRoom)
{
    run.destination.bytes.resize(firstRoom);
    run.destination.manager.init_destination = [](j_compress_ptr info) {
        auto& destination = *reinterpret_cast<JpegRun::Destination*>(info->dest);
        growDestination(info, 0, destination.bytes.size());
    };
    run.destination.manager.empty_output_buffer = [](j_compress_ptr info) -> boolean {
        // Called when the whole room is used (the free count it leaves in the manager may be
        // stale): half as much again as is written.
        const qsizetype used = reinterpret_cast<JpegRun::Destination*>(info->dest)->bytes.size();
        growDestination(info, used, std::max(used / 2, kFirstOutputBytes));
        return TRUE;
    };
    run.destination.manager.term_destination = [](j_compress_ptr info) {
        auto& destination = *reinterpret_cast<JpegRun::Destination*>(info->dest);
        destination.bytes.truncate(destination.bytes.size() - qsizetype(destination.manager.free_in_buffer));
        destination.manager.free_in_buffer = 0;
    };
    run.destination.manager.free_in_buffer = 0;
}

int jpegQuality(double quality)
{
    return std::clamp(int(std::lround(quality * 100.0)), 1, 100);
}

/// Compresses `rows` (premultiplied ARGB32) as a JPEG of their own size that restarts at every
/// row of blocks. C-style: the error jump must skip no destructor. False when libjpeg fails.
bool compressRun(JpegRun& run, const QImage& rows, int quality)
{
    jpeg_compress_struct& info = run.info;
    info.err = jpeg_std_error(&run.errors.manager);
    run.errors.manager.error_exit = jumpBack;
    run.errors.manager.output_message = [](j_common_ptr) {}; // warnings are not worth a line on stderr
    if (setjmp(run.errors.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    info.dest = &run.destination.manager; // prepared by writeInto
    info.image_width = JDIMENSION(rows.width());
    info.image_height = JDIMENSION(rows.height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // 4:4:4 at quality 90 and above, like libvips' own saver.
    if (quality >= 90)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.optimize_coding = FALSE;
    info.restart_in_rows = 1; // where strips are joined, and nowhere else is the file different
    jpeg_start_compress(&info, TRUE);
    const int w = rows.width();
    JSAMPROW feed[kRowsPerCall];
    for (int y = 0; y < rows.height();) {
        const int count = std::min(kRowsPerCall, rows.height() - y);
        for (int i = 0; i < count; ++i) {
            const auto* row = reinterpret_cast<const quint32*>(rows.constScanLine(y + i));
            quint32* spare = run.spareRows.data() + size_t(i) * size_t(w);
            feed[i] = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(overWhite(row, w, spare)));
        }
        const JDIMENSION taken = jpeg_write_scanlines(&info, feed, JDIMENSION(count));
        if (taken == 0)
            break; // never with this destination; finishing then reports the rows missing
        y += int(taken);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

/// Cuts a strip's own file down to what it adds to the whole file of `size`: the first strip
/// keeps the header (with the whole height), the others begin with the restart marker that
/// comes before their first row of blocks (RST7, since the markers count 0 to 7 and a strip holds
/// a multiple of eight rows of blocks), and only the last keeps the end marker. False when the
/// file is not as libjpeg writes it.
bool joinable(QByteArray& file, QSize size, int firstRow, int rows)
{
    const auto* b = reinterpret_cast<const uchar*>(file.constData());
    const qsizetype n = file.size();
    if (n < 4 || b[n - 2] != 0xFF || b[n - 1] != 0xD9)
        return false;
    const auto [frame, data] = jpegLayout(file);
    if (frame < 0 || data < 0 || data > n - 2 || frame + 7 > data)
        return false;
    if (firstRow + rows < size.height())
        file.chop(2);
    if (firstRow == 0) {
        file[frame + 5] = char(size.height() >> 8); // the frame's height, after its length and precision
        file[frame + 6] = char(size.height() & 0xFF);
    } else {
        file.remove(0, data - 2);
        file[0] = char(0xFF);
        file[1] = char(0xD7);
    }
    return true;
}

/// A view of rows [y, y + count) of `raster`, without a copy.
QImage rowsOf(const QImage& raster, int y, int count)
{
    return QImage(raster.constScanLine(y), raster.width(), count, raster.bytesPerLine(), raster.format());
}

} // namespace

std::expected<QByteArray, Error> encodeJpegStrip(QSize size, double quality, int firstRow, const QImage& rows)
{
    QByteArray bytes;
    if (auto encoded = encodeJpegStripInto(size, quality, firstRow, rows, bytes); !encoded)
        return std::unexpected(encoded.error());
    bytes.squeeze();
    return bytes;
}

std::expected<void, Error> encodeJpegStripInto(QSize size, double quality, int firstRow, const QImage& rows,
                                               QByteArray& bytes)
{
    if (size.isEmpty() || rows.isNull())
        return std::unexpected(encodingError(encoderErrors::jpegNoImage));
    const int count = rows.height();
    const bool last = firstRow + count == size.height();
    if (rows.width() != size.width() || firstRow < 0 || firstRow % kJpegStripAlign != 0
        || count > size.height() - firstRow || (!last && count % kJpegStripAlign != 0))
        return std::unexpected(encodingError(encoderErrors::jpegEncodingFailed));
    const QImage raster = rows.convertToFormat(QImage::Format_ARGB32_Premultiplied); // no copy when it is already
    JpegRun run;
    run.spareRows.resize(size_t(kRowsPerCall) * size_t(size.width()));
    run.destination.bytes = std::move(bytes);
    // Room for the strip at about two bytes a pixel, so that it is seldom grown.
    writeInto(run, std::clamp(qsizetype(size.width()) * count * 2, qsizetype(4096), kFirstOutputBytes * 8));
    const int q = jpegQuality(quality);
    const bool encoded = compressRun(run, raster, q) && joinable(run.destination.bytes, size, firstRow, count);
    bytes = std::move(run.destination.bytes);
    if (!encoded)
        return std::unexpected(encodingError(encoderErrors::jpegEncodingFailed));
    return {};
}

JpegBandEncoder::JpegBandEncoder(QSize size, double quality, ByteSink sink)
    : m_size(size), m_quality(quality), m_sink(std::move(sink))
{
    if (size.isEmpty())
        m_failed = encoderErrors::jpegNoImage;
}

std::expected<void, Error> JpegBandEncoder::fail(encoderErrors::Code code)
{
    m_failed = code;
    m_pending = QImage();
    m_bytes = QByteArray();
    m_strip = QByteArray();
    return std::unexpected(encodingError(code));
}

std::expected<void, Error> JpegBandEncoder::encodeNext(const QImage& rows)
{
    if (auto encoded = encodeJpegStripInto(m_size, m_quality, m_rowsDone, rows, m_strip); !encoded)
        return fail(encoderErrors::Code(encoded.error().code));
    m_rowsDone += rows.height();
    if (!m_sink) {
        m_bytes += m_strip;
        return {};
    }
    for (QByteArrayView rest(m_strip); !rest.isEmpty();) {
        const qsizetype taken = std::min(rest.size(), kJpegSinkPart - m_bytes.size());
        m_bytes += rest.first(taken);
        rest = rest.sliced(taken);
        if (m_bytes.size() < kJpegSinkPart)
            break;
        if (!m_sink(m_bytes))
            return fail(encoderErrors::jpegEncodingFailed);
        m_bytes.resize(0); // keeps its room for the next part
    }
    return {};
}

std::expected<void, Error> JpegBandEncoder::add(const QImage& rows)
{
    if (!m_failed && (rows.width() != m_size.width() || rows.height() > m_size.height() - m_rowsDone - m_pendingRows))
        return fail(encoderErrors::jpegEncodingFailed);
    if (m_failed)
        return std::unexpected(encodingError(*m_failed));
    const QImage raster = rows.convertToFormat(QImage::Format_ARGB32_Premultiplied); // no copy when it is already
    for (int y = 0; y < raster.height();) {
        const int strip = std::min(kStripRows, m_size.height() - m_rowsDone);
        if (m_pendingRows == 0 && raster.height() - y >= strip) { // a whole strip: no copy
            if (auto encoded = encodeNext(rowsOf(raster, y, strip)); !encoded)
                return encoded;
            y += strip;
            continue;
        }
        if (m_pending.isNull())
            m_pending = QImage(m_size.width(), kStripRows, QImage::Format_ARGB32_Premultiplied);
        if (m_pending.isNull())
            return fail(encoderErrors::jpegEncodingFailed);
        const int taken = std::min(strip - m_pendingRows, raster.height() - y);
        for (int row = 0; row < taken; ++row)
            std::memcpy(m_pending.scanLine(m_pendingRows + row), raster.constScanLine(y + row),
                        size_t(m_size.width()) * 4);
        m_pendingRows += taken;
        y += taken;
        if (m_pendingRows == strip) {
            m_pendingRows = 0;
            if (auto encoded = encodeNext(rowsOf(m_pending, 0, strip)); !encoded)
                return encoded;
        }
    }
    return {};
}

std::expected<QByteArray, Error> JpegBandEncoder::finish()
{
    if (!m_failed && m_rowsDone != m_size.height())
        (void)fail(encoderErrors::jpegEncodingFailed);
    if (m_failed)
        return std::unexpected(encodingError(*m_failed));
    m_failed = encoderErrors::jpegEncodingFailed; // nothing more to add
    m_pending = QImage();
    m_strip = QByteArray();
    QByteArray bytes = std::exchange(m_bytes, QByteArray());
    if (!m_sink) {
        bytes.squeeze(); // the room grown ahead goes back
        return bytes;
    }
    if (!bytes.isEmpty() && !m_sink(bytes))
        return std::unexpected(encodingError(encoderErrors::jpegEncodingFailed));
    return QByteArray(); // they went to the sink
}

Error encodingError(encoderErrors::Code code)
{
    QString text;
    switch (code) {
    case encoderErrors::jpegNoImage: text = QStringLiteral("CGImage konnte nicht erzeugt werden"); break;
    case encoderErrors::jpegNoDestination:
        text = QStringLiteral("CGImageDestination konnte nicht erstellt werden");
        break;
    case encoderErrors::jpegEncodingFailed: text = QStringLiteral("JPEG-Encoding fehlgeschlagen"); break;
    case encoderErrors::pngNoImage: text = QStringLiteral("CGImage für PNG konnte nicht erzeugt werden"); break;
    case encoderErrors::pngNoDestination:
        text = QStringLiteral("CGImageDestination für PNG konnte nicht erstellt werden");
        break;
    case encoderErrors::pngEncodingFailed: text = QStringLiteral("PNG-Encoding fehlgeschlagen"); break;
    }
    return Error{encoderErrors::domain, code, text};
}

std::expected<QByteArray, Error> encodeJPEG(const Image& image, double quality)
{
    if (image.isNull())
        return std::unexpected(encodingError(encoderErrors::jpegNoImage));
    // The strips are encoded on all cores at once, a run of them on each.
    const QImage raster = image.raster.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize size = raster.size();
    const int strips = (size.height() + JpegBandEncoder::kStripRows - 1) / JpegBandEncoder::kStripRows;
    std::vector<std::optional<std::expected<QByteArray, Error>>> runs(static_cast<size_t>(strips));
    parallelBands(strips, 1, [&](int begin, int end) {
        const int y = begin * JpegBandEncoder::kStripRows;
        const int rows = std::min(size.height(), end * JpegBandEncoder::kStripRows) - y;
        runs[size_t(begin)] = encodeJpegStrip(size, quality, y, rowsOf(raster, y, rows));
    });
    QByteArray file;
    for (auto& run : runs) {
        if (!run)
            continue;
        if (!*run)
            return std::unexpected(run->error());
        if (file.isEmpty())
            file = std::move(**run); // the first run's bytes become the file's, without a copy
        else
            file += **run;
    }
    return file;
}

namespace {

QByteArray takeBuffer(void* buffer, size_t length)
{
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

/// Saves an RGBA8888 raster (rows unpadded, as RGBA8888 rows always are) as PNG.
std::expected<QByteArray, Error> savePng(const QImage& rgba)
{
    vips::ensureStarted();
    vips::Ref wrapped(vips_image_new_from_memory(rgba.constBits(), size_t(rgba.sizeInBytes()), rgba.width(),
                                                 rgba.height(), 4, VIPS_FORMAT_UCHAR));
    if (!wrapped) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::pngNoDestination));
    }
    void* buffer = nullptr;
    size_t length = 0;
    if (vips_pngsave_buffer(wrapped.get(), &buffer, &length, "compression", 6, "strip", TRUE, nullptr) != 0) {
        vips::takeError();
        return std::unexpected(encodingError(encoderErrors::pngEncodingFailed));
    }
    return takeBuffer(buffer, length);
}

} // namespace

std::expected<QByteArray, Error> encodePNG(const Image& image)
{
    if (image.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    const QImage rgba = image.raster.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    return savePng(rgba);
}

PngBandEncoder::PngBandEncoder(QSize size) : m_rgba(size, QImage::Format_RGBA8888)
{
}

std::expected<void, Error> PngBandEncoder::add(const QImage& rows)
{
    if (m_rgba.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    if (rows.width() != m_rgba.width() || rows.height() > m_rgba.height() - m_rowsDone)
        return std::unexpected(encodingError(encoderErrors::pngEncodingFailed));
    const QImage converted = rows.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < converted.height(); ++y)
        std::memcpy(m_rgba.scanLine(m_rowsDone + y), converted.constScanLine(y), size_t(converted.width()) * 4);
    m_rowsDone += rows.height();
    return {};
}

std::expected<QByteArray, Error> PngBandEncoder::finish()
{
    if (m_rgba.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    if (m_rowsDone != m_rgba.height())
        return std::unexpected(encodingError(encoderErrors::pngEncodingFailed));
    auto bytes = savePng(m_rgba);
    m_rgba = QImage();
    return bytes;
}

} // namespace lumora

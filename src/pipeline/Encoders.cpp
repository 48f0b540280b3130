#include "pipeline/Encoders.h"

#include "pipeline/VipsSupport.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace lumora {

struct JpegBandEncoder::State {
    /// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
    /// to the encoder's call that is running.
    struct Errors {
        jpeg_error_mgr manager;
        std::jmp_buf back;
    };
    /// Where libjpeg writes: straight into the bytes that are handed on, grown by half their
    /// size at a time. libjpeg's own memory destination doubles a buffer by copying it, and its
    /// bytes were copied once more at the end: a file of 10 MB was held up to three times over.
    /// With a sink, `bytes` is one part that is handed to the sink whenever it is full.
    struct Destination {
        jpeg_destination_mgr manager;
        QByteArray bytes;
        ByteSink sink;
    };
    jpeg_compress_struct info{};
    Errors errors{};
    Destination destination{};
    bool created = false;
    std::vector<quint8> spareRow;
};

namespace {

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegBandEncoder::State::Errors*>(info->err)->back, 1);
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
    auto& destination = *reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest);
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

/// Through libjpeg's error exit when the sink does not take `bytes`.
void handOn(j_compress_ptr info, QByteArrayView bytes)
{
    auto& destination = *reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest);
    if (!bytes.isEmpty() && !destination.sink(bytes)) {
        info->err->msg_code = JERR_FILE_WRITE;
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
}

/// Lets libjpeg fill the sink's part from its start.
void restartPart(j_compress_ptr info)
{
    auto& destination = *reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest);
    destination.manager.next_output_byte = reinterpret_cast<JOCTET*>(destination.bytes.data());
    destination.manager.free_in_buffer = size_t(destination.bytes.size());
}

/// libjpeg writes into one part that goes to the sink each time it is full.
void writeIntoSink(JpegBandEncoder::State& st)
{
    st.destination.bytes.resize(JpegBandEncoder::kJpegSinkPart);
    st.destination.manager.init_destination = restartPart;
    st.destination.manager.empty_output_buffer = [](j_compress_ptr info) -> boolean {
        // The whole part is full here, whatever free count the manager was left with.
        handOn(info, reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest)->bytes);
        restartPart(info);
        return TRUE;
    };
    st.destination.manager.term_destination = [](j_compress_ptr info) {
        auto& destination = *reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest);
        const qsizetype used = destination.bytes.size() - qsizetype(destination.manager.free_in_buffer);
        destination.manager.free_in_buffer = 0;
        handOn(info, QByteArrayView(destination.bytes).first(used));
    };
    st.destination.manager.free_in_buffer = 0;
    st.info.dest = &st.destination.manager;
}

void writeInto(JpegBandEncoder::State& st)
{
    if (st.destination.sink) {
        writeIntoSink(st);
        return;
    }
    st.destination.manager.init_destination = [](j_compress_ptr info) { growDestination(info, 0, kFirstOutputBytes); };
    st.destination.manager.empty_output_buffer = [](j_compress_ptr info) -> boolean {
        // Called when the whole room is used (the free count it leaves in the manager may be
        // stale): half as much again as is written.
        const qsizetype used = reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest)->bytes.size();
        growDestination(info, used, std::max(used / 2, kFirstOutputBytes));
        return TRUE;
    };
    st.destination.manager.term_destination = [](j_compress_ptr info) {
        auto& destination = *reinterpret_cast<JpegBandEncoder::State::Destination*>(info->dest);
        destination.bytes.truncate(destination.bytes.size() - qsizetype(destination.manager.free_in_buffer));
        destination.manager.free_in_buffer = 0;
    };
    st.destination.manager.free_in_buffer = 0;
    st.info.dest = &st.destination.manager;
}

QByteArray takeBuffer(void* buffer, size_t length)
{
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

/// Starts the compression of a w × h raster into memory. C-style: the error jump must skip no
/// destructor. False when libjpeg fails.
bool startJpeg(JpegBandEncoder::State& st, int w, int h, int quality)
{
    jpeg_compress_struct& info = st.info;
    info.err = jpeg_std_error(&st.errors.manager);
    st.errors.manager.error_exit = jumpBack;
    st.errors.manager.output_message = [](j_common_ptr) {}; // warnings are not worth a line on stderr
    if (setjmp(st.errors.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    st.created = true;
    writeInto(st);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // 4:4:4 at quality 90 and above, like libvips' own saver.
    if (quality >= 90)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.optimize_coding = FALSE;
    jpeg_start_compress(&info, TRUE);
    return true;
}

/// Compresses the rows of `rows` (premultiplied ARGB32, as wide as the image); false when
/// libjpeg fails (the compression is then destroyed).
bool writeJpegRows(JpegBandEncoder::State& st, const QImage& rows)
{
    jpeg_compress_struct& info = st.info;
    if (setjmp(st.errors.back)) {
        jpeg_destroy_compress(&info);
        st.created = false;
        return false;
    }
    const int w = rows.width();
    for (int y = 0; y < rows.height() && info.next_scanline < info.image_height; ++y) {
        const auto* row = reinterpret_cast<const quint32*>(rows.constScanLine(y));
        const quint32* fed = overWhite(row, w, reinterpret_cast<quint32*>(st.spareRow.data()));
        JSAMPROW feed = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(fed));
        jpeg_write_scanlines(&info, &feed, 1);
    }
    return true;
}

bool finishJpeg(JpegBandEncoder::State& st)
{
    if (setjmp(st.errors.back)) {
        jpeg_destroy_compress(&st.info);
        st.created = false;
        return false;
    }
    jpeg_finish_compress(&st.info);
    jpeg_destroy_compress(&st.info);
    st.created = false;
    return true;
}

} // namespace

JpegBandEncoder::JpegBandEncoder(QSize size, double quality, ByteSink sink)
    : m_state(std::make_unique<State>()), m_size(size)
{
    m_state->destination.sink = std::move(sink);
    const int q = std::clamp(int(std::lround(quality * 100.0)), 1, 100);
    if (size.isEmpty()) {
        m_failed = encoderErrors::jpegNoImage;
        return;
    }
    m_state->spareRow.resize(size_t(size.width()) * 4);
    if (!startJpeg(*m_state, size.width(), size.height(), q))
        m_failed = encoderErrors::jpegEncodingFailed;
}

JpegBandEncoder::~JpegBandEncoder()
{
    if (m_state->created)
        jpeg_destroy_compress(&m_state->info);
}

std::expected<void, Error> JpegBandEncoder::add(const QImage& rows)
{
    if (!m_failed && (rows.width() != m_size.width() || rows.height() > m_size.height() - m_rowsDone))
        m_failed = encoderErrors::jpegEncodingFailed;
    if (m_failed)
        return std::unexpected(encodingError(*m_failed));
    const QImage raster = rows.convertToFormat(QImage::Format_ARGB32_Premultiplied); // no copy when it is already
    if (!writeJpegRows(*m_state, raster)) {
        m_failed = encoderErrors::jpegEncodingFailed;
        return std::unexpected(encodingError(*m_failed));
    }
    m_rowsDone += rows.height();
    return {};
}

std::expected<QByteArray, Error> JpegBandEncoder::finish()
{
    if (!m_failed && m_rowsDone != m_size.height())
        m_failed = encoderErrors::jpegEncodingFailed;
    if (m_failed)
        return std::unexpected(encodingError(*m_failed));
    if (!finishJpeg(*m_state)) {
        m_failed = encoderErrors::jpegEncodingFailed;
        return std::unexpected(encodingError(*m_failed));
    }
    m_failed = encoderErrors::jpegEncodingFailed; // nothing more to add
    QByteArray bytes = std::exchange(m_state->destination.bytes, QByteArray());
    if (m_state->destination.sink)
        return QByteArray(); // they went to the sink
    bytes.squeeze();         // the room grown ahead goes back
    return bytes;
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
    JpegBandEncoder encoder(image.raster.size(), quality);
    if (auto added = encoder.add(image.raster); !added)
        return std::unexpected(added.error());
    return encoder.finish();
}

namespace {

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

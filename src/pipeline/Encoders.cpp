#include "pipeline/Encoders.h"

#include "pipeline/VipsSupport.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace lumora {

namespace {

/// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
/// to the encoder with the message kept.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->back, 1);
}

/// Compresses `raster` (premultiplied ARGB32, upright) straight from its rows: libjpeg-turbo
/// reads the B, G, R, X bytes of opaque rows as they are; a row with translucent pixels is first
/// laid over white. 4:4:4 at quality 90 and above, like libvips' own saver. A C-style function:
/// nothing here owns a destructor that the error jump would skip.
bool compressJpeg(const QImage& raster, int quality, unsigned char** buffer, unsigned long* length,
                  std::vector<quint8>& spareRow)
{
    jpeg_compress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.output_message = [](j_common_ptr) {}; // warnings are not worth a line on stderr
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, length);
    info.image_width = JDIMENSION(raster.width());
    info.image_height = JDIMENSION(raster.height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (quality >= 90)
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.optimize_coding = FALSE;
    jpeg_start_compress(&info, TRUE);
    const int w = raster.width();
    while (info.next_scanline < info.image_height) {
        const auto* row = reinterpret_cast<const quint32*>(raster.constScanLine(int(info.next_scanline)));
        JSAMPROW feed = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(row));
        bool opaque = true;
        for (int x = 0; x < w && opaque; ++x)
            opaque = (row[x] >> 24) == 0xFF;
        if (!opaque) {
            auto* out = reinterpret_cast<quint32*>(spareRow.data());
            for (int x = 0; x < w; ++x) {
                const quint32 p = row[x];
                const quint32 white = 255 - (p >> 24);
                out[x] = 0xFF000000u | ((((p >> 16) & 0xFF) + white) << 16) | ((((p >> 8) & 0xFF) + white) << 8)
                         | ((p & 0xFF) + white);
            }
            feed = spareRow.data();
        }
        jpeg_write_scanlines(&info, &feed, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

QByteArray takeBuffer(void* buffer, size_t length)
{
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

} // namespace

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
    // Rendered rasters are premultiplied ARGB32 already (then this is no copy).
    const QImage raster = image.raster.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (raster.isNull())
        return std::unexpected(encodingError(encoderErrors::jpegNoImage));
    const int q = std::clamp(int(std::lround(quality * 100.0)), 1, 100);
    std::vector<quint8> spareRow(size_t(raster.width()) * 4);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    const bool done = compressJpeg(raster, q, &buffer, &length, spareRow);
    if (!done) {
        std::free(buffer);
        return std::unexpected(encodingError(encoderErrors::jpegEncodingFailed));
    }
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(length));
    std::free(buffer);
    return bytes;
}

std::expected<QByteArray, Error> encodePNG(const Image& image)
{
    if (image.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    const QImage rgba = image.raster.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.isNull())
        return std::unexpected(encodingError(encoderErrors::pngNoImage));
    // libvips needs rows without padding; RGBA8888 rows are 4-byte aligned and so unpadded.
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

} // namespace lumora

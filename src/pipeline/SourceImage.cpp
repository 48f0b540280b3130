#include "pipeline/SourceImage.h"

#include "base/FailureText.h"
#include "base/RegularFile.h"
#include "pipeline/CachedRaster.h"
#include "pipeline/JpegLayout.h"
#include "pipeline/Raster.h"
#include "pipeline/RawDecode.h"
#include "pipeline/VipsSupport.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <mutex>

#include <jpeglib.h>

namespace lumora {

enum class EncodedKind { vips, raw, bmp };

struct SourceImage::Data {
    QByteArray encoded; // empty for rasters
    QImage raster;      // null for encoded originals
    QSize size;         // upright
    /// Who decodes `encoded`: libvips, LibRaw (camera RAW) or Qt's BMP reader.
    EncodedKind kind = EncodedKind::vips;
    /// For camera RAW files: what their header says (sensor, orientation, preview).
    raw::Header rawHeader;
    /// A raster kept in the cache folder instead (then `raster` is null).
    std::shared_ptr<const CachedRaster> cached;
    /// The file `encoded` is read from at each decode instead of being kept (then it is empty).
    QString readOnDemand;
    /// That file as it was first read: a later read that finds another version of it fails.
    FileIdentity fileIdentity;
    /// For a camera RAW file read from its file: what is kept of it (shared by copies).
    std::shared_ptr<RawKept> rawKept;
};

/// A camera RAW file's bytes kept in memory: at first only its embedded JPEG preview, read with
/// the header, later (keepWhole) the whole file. Set once, read by any thread.
struct SourceImage::RawKept {
    std::mutex lock;
    QByteArray whole;   ///< empty until kept
    QByteArray preview; ///< the preview's JPEG bytes while they are not taken from `whole`
};

namespace {

Error decoderError(const QString& description)
{
    return Error{decoderErrors::domain, decoderErrors::unreadable, description};
}

/// "Die Datei ist kein lesbares Bild: " and why, a German sentence (damaged data when empty).
Error unreadable(const QString& reason)
{
    return decoderError(QStringLiteral("Die Datei ist kein lesbares Bild: ")
                        + (reason.isEmpty() ? QStringLiteral("Die Bilddaten sind beschädigt.") : reason));
}

/// The failure libvips reported, with its reason in German.
Error decoderFailure()
{
    return unreadable(decoderReason(vips::takeError()));
}

/// The libvips loader of a photo format, chosen by the file's first bytes.
using Loader = int (*)(void* buffer, size_t length, VipsImage** out, ...);

/// The loader for the photo formats libvips reads here (JPEG, PNG, HEIC/HEIF, WebP, TIFF, GIF), told by the
/// file's header and never by its name; none for anything else (vector graphics, documents…),
/// which libvips' generic loader would otherwise accept.
Loader loaderFor(const QByteArray& bytes)
{
    const QByteArrayView head(bytes);
    auto at = [&](qsizetype offset, QByteArrayView magic) {
        return head.size() >= offset + magic.size() && head.sliced(offset, magic.size()) == magic;
    };
    if (at(0, "\xFF\xD8\xFF"))
        return &vips_jpegload_buffer;
    if (at(0, "\x89PNG\r\n\x1A\n"))
        return &vips_pngload_buffer;
    if (at(0, "RIFF") && at(8, "WEBP"))
        return &vips_webpload_buffer;
    if (at(0, QByteArrayView("II*\0", 4)) || at(0, QByteArrayView("MM\0*", 4)))
        return &vips_tiffload_buffer;
    if (at(0, "GIF87a") || at(0, "GIF89a"))
        return &vips_gifload_buffer; // the first frame: libvips' own GIF decoder
    if (at(4, "ftyp")) {
        for (const char* brand : {"heic", "heix", "mif1", "msf1", "hevc"}) {
            if (at(8, brand))
                return &vips_heifload_buffer;
        }
    }
    return nullptr;
}

/// How every decode treats damaged data: a file cut short, or with a broken stretch, decodes
/// with the missing part filled in, as viewers show it, as long as at most this share of the
/// picture's rows is missing; a photo whose data ends earlier (down to a header without any) is
/// refused. Only data a decoder cannot go on with fails otherwise. The thumbnail, the display
/// decodes and the full decode follow this one rule, so a photo that loads (its thumbnail
/// decoded) can also be rendered and saved.
constexpr double kMaxMissingShare = 0.02;

/// Opens encoded bytes lazily (header only) with the loader of their format. `bytes` must
/// outlive the image. `shrink` > 1 asks a JPEG decoder for 1/shrink of the size (1, 2, 4 or 8)
/// and a WebP decoder for about that; other formats ignore it. `failOn` says which damage fails
/// the decode. Null for bytes of no photo format, with nothing in libvips' error buffer.
vips::Ref openBuffer(const QByteArray& bytes, VipsAccess access, double shrink = 1.0,
                     VipsFailOn failOn = VIPS_FAIL_ON_NONE)
{
    vips::ensureStarted();
    const Loader load = loaderFor(bytes);
    if (load == &vips_heifload_buffer)
        vips::ensureHeifModule();
    vips::Ref image;
    auto* data = const_cast<char*>(bytes.constData());
    const auto length = size_t(bytes.size());
    if (load == &vips_jpegload_buffer && shrink > 1.0)
        load(data, length, image.out(), "access", access, "fail_on", failOn, "shrink", int(shrink), nullptr);
    else if (load == &vips_webpload_buffer && shrink > 1.0)
        load(data, length, image.out(), "access", access, "fail_on", failOn, "scale", 1.0 / shrink, nullptr);
    else if (load)
        load(data, length, image.out(), "access", access, "fail_on", failOn, nullptr);
    return image;
}

/// Turns any decoded image into 8-bit sRGB with three bands, or four with alpha. Every decode
/// path ends here, so an embedded profile (or CMYK) is converted the one way everywhere: by
/// the profile to libvips' sRGB profile, relative colorimetric.
std::expected<vips::Ref, Error> toSrgb8(vips::Ref image)
{
    VipsImage* in = image.get();
    const bool hasProfile = vips_image_get_typeof(in, VIPS_META_ICC_NAME) != 0;
    const bool isCmyk = vips_image_guess_interpretation(in) == VIPS_INTERPRETATION_CMYK;
    vips::Ref next;
    if (hasProfile || isCmyk) {
        if (vips_icc_transform(in, next.out(), "srgb", "embedded", TRUE, "intent", VIPS_INTENT_RELATIVE, nullptr) == 0)
            image = std::move(next);
        else
            (void)vips::takeError(); // a broken profile: fall back to a plain colourspace conversion
    }
    if (vips_image_guess_interpretation(image.get()) != VIPS_INTERPRETATION_sRGB || image.get()->Bands < 3) {
        if (vips_colourspace(image.get(), next.out(), VIPS_INTERPRETATION_sRGB, nullptr) != 0)
            return std::unexpected(decoderFailure());
        image = std::move(next);
    }
    if (image.get()->BandFmt != VIPS_FORMAT_UCHAR) {
        if (vips_cast_uchar(image.get(), next.out(), nullptr) != 0)
            return std::unexpected(decoderFailure());
        image = std::move(next);
    }
    if (image.get()->Bands > 4) {
        if (vips_extract_band(image.get(), next.out(), 0, "n", 4, nullptr) != 0)
            return std::unexpected(decoderFailure());
        image = std::move(next);
    }
    return image;
}

/// Receives the decoded rows from libvips' sink (in order, on its writer thread) and packs
/// them into the raster as premultiplied ARGB32.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
/// libvips' workers write disjoint areas of the raster and hand it over under GLib's locks,
/// which the thread sanitizer cannot see: it would report (and suppress, at great cost) every
/// pixel written. Its checks are off while a worker copies its area.
struct UnseenByThreadSanitizer {
    UnseenByThreadSanitizer() { __tsan_ignore_thread_begin(); }
    ~UnseenByThreadSanitizer() { __tsan_ignore_thread_end(); }
};
#else
struct UnseenByThreadSanitizer {};
#endif

struct RasterWriter {
    uchar* bits;
    qsizetype stride;
    int bands;

    static int write(VipsRegion* region, VipsRect* area, void* self)
    {
        const auto& w = *static_cast<RasterWriter*>(self);
        [[maybe_unused]] const UnseenByThreadSanitizer quiet{};
        for (int y = area->top; y < area->top + area->height; ++y) {
            const auto* src = reinterpret_cast<const quint8*>(VIPS_REGION_ADDR(region, area->left, y));
            auto* dst = reinterpret_cast<quint32*>(w.bits + w.stride * y) + area->left;
            if (w.bands == 3) {
                for (int x = 0; x < area->width; ++x, src += 3)
                    dst[x] = 0xFF000000u | (quint32(src[0]) << 16) | (quint32(src[1]) << 8) | src[2];
            } else {
                for (int x = 0; x < area->width; ++x, src += 4) {
                    const quint32 a = src[3];
                    auto pm = [a](quint32 c) { return (c * a + 127) / 255; };
                    dst[x] = (a << 24) | (pm(src[0]) << 16) | (pm(src[1]) << 8) | pm(src[2]);
                }
            }
        }
        return 0;
    }
};

/// Runs the decode and packs the pixels straight into a new raster.
std::expected<QImage, Error> materialise(vips::Ref image)
{
    auto srgb = toSrgb8(std::move(image));
    if (!srgb)
        return std::unexpected(srgb.error());
    VipsImage* in = srgb->get();
    QImage raster = newRaster(QSize(in->Xsize, in->Ysize));
    if (raster.isNull())
        return std::unexpected(decoderError(QStringLiteral("Nicht genug Speicher für das Bild.")));
    RasterWriter writer{raster.bits(), raster.bytesPerLine(), in->Bands};
    if (in->Bands != 3 && in->Bands != 4)
        return std::unexpected(unreadable({}));
    if (vips_sink_disc(in, &RasterWriter::write, &writer) != 0)
        return std::unexpected(decoderFailure());
    return raster;
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

/// Where a band decode's rows go: `into(firstRow, rows)` gives the raster that the next `rows`
/// rows are written into (top row first), `done(band, firstRow)` takes it once they are there;
/// false from `done` stops the decode.
struct JpegBandTarget {
    int bandRows = 0;
    std::function<QImage(int firstRow, int rows)> into;
    std::function<bool(QImage& band, int firstRow)> done;
    QImage band; ///< the band being written (held here, outside the frame the error jump returns to)
};

/// Decodes JPEG `bytes` of w × h pixels band by band into `target`: libjpeg-turbo writes B, G, R
/// and an opaque alpha, the raster's own byte order, with the settings libvips decodes with (the
/// same pixels) and without a copy in between. Refused when the data is not a colour JPEG of that
/// size or is damaged in any way (at its first warning, whatever bands went before): the caller
/// then decodes through libvips, whose rules for damaged data hold. A C-style function: nothing
/// here owns a destructor that the error jump would skip.
BandDecode decodeJpegBands(const QByteArray& bytes, int w, int h, JpegBandTarget* target)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->back, 1);
    };
    errors.manager.output_message = [](j_common_ptr) {};
    // The first warning ends the decode: damaged data is libvips' to judge, and a file cut short
    // would otherwise be filled in to its full size first (a header alone: all of it).
    errors.manager.emit_message = [](j_common_ptr common, int level) {
        if (level < 0)
            std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->back, 1);
    };
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        target->band = QImage();
        return BandDecode::refused;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()), (unsigned long)(bytes.size()));
    const bool fits = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && info.num_components == 3
                      && (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB)
                      && int(info.image_width) == w && int(info.image_height) == h;
    BandDecode result = fits ? BandDecode::complete : BandDecode::refused;
    if (fits) {
        info.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&info);
        while (result == BandDecode::complete && info.output_scanline < info.output_height) {
            const int firstRow = int(info.output_scanline);
            const int rows = std::min(target->bandRows, h - firstRow);
            target->band = target->into(firstRow, rows);
            if (target->band.isNull()) {
                result = BandDecode::stopped;
                break;
            }
            while (int(info.output_scanline) < firstRow + rows) {
                JSAMPROW row = target->band.scanLine(int(info.output_scanline) - firstRow);
                jpeg_read_scanlines(&info, &row, 1);
            }
            if (!target->done(target->band, firstRow))
                result = BandDecode::stopped;
        }
        if (result == BandDecode::complete)
            jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    target->band = QImage();
    return result;
}

/// Whether the photo is a plain sRGB colour JPEG, stored upright and without a profile, that
/// libjpeg-turbo decodes to the pixels libvips gives.
bool isPlainJpeg(const QByteArray& bytes, VipsImage* header)
{
    return loaderFor(bytes) == &vips_jpegload_buffer && vips_image_get_orientation(header) <= 1
           && vips_image_get_typeof(header, VIPS_META_ICC_NAME) == 0 && header->Bands == 3
           && vips_image_guess_interpretation(header) == VIPS_INTERPRETATION_sRGB;
}

/// A plain JPEG (isPlainJpeg) decoded without libvips; none when the photo needs libvips'
/// conversions (or its rules for damaged data).
std::optional<QImage> decodePlainJpeg(const QByteArray& bytes, VipsImage* header)
{
    if (!isPlainJpeg(bytes, header))
        return std::nullopt;
    QImage raster = newRaster(QSize(header->Xsize, header->Ysize));
    if (raster.isNull())
        return std::nullopt;
    // A view of the raster's memory, not a second reference to it: writing into a shared image
    // would copy it first.
    uchar* bits = raster.bits();
    const auto into = [&](int, int) {
        return QImage(bits, raster.width(), raster.height(), raster.bytesPerLine(), raster.format());
    };
    JpegBandTarget whole{raster.height(), into, [](QImage&, int) { return true; }, {}};
    if (decodeJpegBands(bytes, raster.width(), raster.height(), &whole) != BandDecode::complete)
        return std::nullopt;
    return raster;
}

/// The factor a decoder shrinks by while it decodes an image of `stored` pixels that is to end
/// at `target` (both as stored). JPEG decodes at 1/2, 1/4 or 1/8, never below the target: its
/// scaled decode drops the high frequencies as a filter would, and the result resized to the
/// target differs from a full decode resized by less than a code on average (about 48 dB on the
/// camera photos); WebP scales to any size; the other formats decode whole.
double loadShrink(Loader load, QSize stored, QSize target)
{
    const double ratio = std::min(double(stored.width()) / target.width(), double(stored.height()) / target.height());
    if (load == &vips_jpegload_buffer) {
        for (int factor : {8, 4, 2}) {
            if (ratio >= factor)
                return factor;
        }
        return 1.0;
    }
    return load == &vips_webpload_buffer ? std::max(1.0, ratio) : 1.0;
}

/// Resamples to exactly `size` pixels (Lanczos). Alpha is premultiplied while pixels are
/// averaged, so transparent pixels do not bleed their colour into the edges.
std::expected<vips::Ref, Error> resizeTo(vips::Ref image, QSize size)
{
    VipsImage* in = image.get();
    if (in->Xsize == size.width() && in->Ysize == size.height())
        return image;
    const double hscale = double(size.width()) / in->Xsize;
    const double vscale = double(size.height()) / in->Ysize;
    const bool alpha = vips_image_hasalpha(in) != 0;
    const VipsBandFormat format = in->BandFmt;
    vips::Ref next;
    auto step = [&](int result) {
        if (result != 0)
            return false;
        image = std::move(next);
        return true;
    };
    if (alpha && !step(vips_premultiply(image.get(), next.out(), nullptr)))
        return std::unexpected(decoderFailure());
    if (!step(vips_resize(image.get(), next.out(), hscale, "vscale", vscale, nullptr)))
        return std::unexpected(decoderFailure());
    if (alpha
        && (!step(vips_unpremultiply(image.get(), next.out(), nullptr))
            || !step(vips_cast(image.get(), next.out(), format, nullptr))))
        return std::unexpected(decoderFailure());
    return image;
}

/// Decodes encoded bytes to exactly `target` (upright, smaller than the image): shrunk while
/// decoding where the format can, resampled, turned upright, then converted to sRGB by the
/// same step as a full decode. With `turnUpright` false, `target` and the result are as stored.
std::expected<QImage, Error> decodeShrunk(const QByteArray& bytes, QSize target, VipsFailOn failOn,
                                          bool turnUpright = true)
{
    vips::Ref probe = openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL, 1.0, failOn);
    if (!probe)
        return std::unexpected(decoderFailure());
    const int orientation = vips_image_get_orientation(probe.get());
    const QSize storedTarget =
        turnUpright && vips_image_get_orientation_swap(probe.get()) ? target.transposed() : target;
    const double shrink = loadShrink(loaderFor(bytes), QSize(probe.get()->Xsize, probe.get()->Ysize), storedTarget);
    vips::Ref image = shrink > 1.0 ? openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL, shrink, failOn) : std::move(probe);
    if (!image)
        return std::unexpected(decoderFailure());
    auto resized = resizeTo(std::move(image), storedTarget);
    if (!resized)
        return std::unexpected(resized.error());
    if (orientation <= 1 || !turnUpright)
        return materialise(std::move(*resized));
    // Turning reads its input out of order, which a sequential decode cannot serve; the small
    // result is decoded into memory first.
    vips::Ref inMemory(vips_image_copy_memory(resized->get()));
    vips::Ref upright;
    if (!inMemory || vips_autorot(inMemory.get(), upright.out(), nullptr) != 0)
        return std::unexpected(decoderFailure());
    return materialise(std::move(upright));
}

/// The longest run of rows of `raster` that hold nothing but a decoder's fill of missing data:
/// one value throughout, mid grey (JPEG) or black or transparent (the others). A decoder fills
/// from where the data ends, mostly to the last row.
int filledRows(const QImage& raster)
{
    const auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
    const auto isFill = [&](QRgb v) {
        const int r = qRed(v);
        return near(r, qGreen(v)) && near(r, qBlue(v)) && (near(r, 128) || r <= 1) && (qAlpha(v) == 255 || v == 0);
    };
    const auto filled = [&](int y) {
        const auto* line = reinterpret_cast<const QRgb*>(raster.constScanLine(y));
        if (!isFill(line[0]))
            return false;
        for (int x = 1; x < raster.width(); ++x) {
            if (!near(qRed(line[x]), qRed(line[0])) || !near(qAlpha(line[x]), qAlpha(line[0]))
                || !near(qBlue(line[x]), qBlue(line[0])))
                return false;
        }
        return true;
    };
    int longest = 0;
    for (int y = 0, run = 0; y < raster.height(); ++y) {
        run = filled(y) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

/// Why a damaged photo (one that a strict decode refused) is refused as a whole: more of its
/// rows are missing than kMaxMissingShare of them (and at least two rows of JPEG blocks), seen
/// on a small decode in the order the rows are stored. None when enough is there.
std::optional<Error> missingPicture(const QByteArray& bytes, QSize stored)
{
    const QSize small = stored.scaled(QSize(512, 512), Qt::KeepAspectRatio).boundedTo(stored).expandedTo(QSize(1, 1));
    auto sample = decodeShrunk(bytes, small, VIPS_FAIL_ON_NONE, false);
    if (!sample || sample->isNull())
        return std::nullopt; // the decode itself tells what is wrong
    const double share = double(filledRows(*sample)) / sample->height();
    constexpr int kFewRows = 16;
    if (share * stored.height() <= std::max(kMaxMissingShare * stored.height(), double(kFewRows)))
        return std::nullopt;
    if (share >= 0.999)
        return unreadable(QStringLiteral("Sie enthält keine Bilddaten."));
    return unreadable(QStringLiteral("Die Datei ist unvollständig, es fehlen die Bilddaten von %1 % des Bildes.")
                          .arg(std::max(1, int(std::lround(share * 100)))));
}

/// Decodes with `decodeWith`, first refusing damage: a photo that decodes so is whole. A damaged
/// one is refused when too much of it is missing, else decoded with the missing part filled in.
template <typename Decode>
std::expected<QImage, Error> decodeDamageAware(const QByteArray& bytes, QSize stored, Decode decodeWith)
{
    auto strict = decodeWith(VIPS_FAIL_ON_TRUNCATED);
    if (strict)
        return strict;
    (void)vips::takeError();
    if (std::optional<Error> missing = missingPicture(bytes, stored))
        return std::unexpected(*missing);
    return decodeWith(VIPS_FAIL_ON_NONE);
}

/// A reason from the RAW decoder in the sentence of every decoder failure.
Error rawFailure(const Error& error)
{
    if (error.description.startsWith(QStringLiteral("Das Bild ist"))
        || error.description.startsWith(QStringLiteral("Nicht genug")))
        return decoderError(error.description);
    return unreadable(error.description);
}

/// The RAW file's embedded JPEG preview decoded to `target` (upright), when it is at least that
/// large and shows the whole picture (its shape within 2 % of the photo's). None when there is
/// no such preview or it cannot be decoded: the sensor data are then the source.
std::optional<QImage> rawPreviewToFit(const std::optional<QByteArray>& jpeg, const raw::Header& header, QSize target)
{
    const QSize upright = header.size;
    const int flip = header.flip;
    if (!jpeg || loaderFor(*jpeg) != &vips_jpegload_buffer)
        return std::nullopt;
    vips::Ref probe = openBuffer(*jpeg, VIPS_ACCESS_SEQUENTIAL);
    if (!probe) {
        (void)vips::takeError();
        return std::nullopt;
    }
    const bool swap = flip == 5 || flip == 6;
    const QSize stored(probe.get()->Xsize, probe.get()->Ysize);
    const QSize shown = swap ? stored.transposed() : stored;
    const double shape = (double(shown.width()) / shown.height()) / (double(upright.width()) / upright.height());
    if (shown.width() < target.width() || shown.height() < target.height() || std::abs(shape - 1.0) > 0.02)
        return std::nullopt;
    auto decoded = decodeShrunk(*jpeg, swap ? target.transposed() : target, VIPS_FAIL_ON_TRUNCATED, false);
    if (!decoded || decoded->isNull()) {
        (void)vips::takeError();
        return std::nullopt;
    }
    return raw::turned(*decoded, flip);
}

/// A display-size decode of a RAW file's sensor data: half size (each 2 × 2 block of the mosaic
/// one pixel), or full size for targets above half size.
std::expected<QImage, Error> rawDevelopedToFit(const QByteArray& bytes, const raw::Header& header, QSize target)
{
    const QSize upright = header.size;
    const bool aboveHalf = target.width() > upright.width() / 2 || target.height() > upright.height() / 2;
    auto developed = aboveHalf ? raw::decodeFull(bytes) : raw::decodeHalf(bytes);
    if (!developed)
        return std::unexpected(rawFailure(developed.error()));
    if (developed->size() == target)
        return developed;
    return developed->scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

/// What a Windows bitmap's headers say, read by hand: Qt's reader would allocate first.
struct BmpHeader {
    qint64 width = 0;
    qint64 height = 0;
    qint64 dataEnd = 0; ///< where uncompressed pixel data end; 0 for compressed data
};

/// The headers of a Windows bitmap: "BM" and an information header of a known size; none for
/// other bytes.
std::optional<BmpHeader> bmpHeader(const QByteArray& bytes)
{
    if (bytes.size() < 26 || !bytes.startsWith("BM"))
        return std::nullopt;
    const auto* head = reinterpret_cast<const uchar*>(bytes.constData());
    const auto u16 = [&](int at) { return quint32(head[at]) | quint32(head[at + 1]) << 8; };
    const auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    const quint32 infoSize = u32(14);
    BmpHeader header;
    int bitsPerPixel = 0;
    quint32 compression = 0;
    if (infoSize == 12) {
        header.width = u16(18);
        header.height = u16(20);
        bitsPerPixel = int(u16(24));
    } else if ((infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 || infoSize == 108
                || infoSize == 124)
               && bytes.size() >= 34) {
        header.width = qint32(u32(18));
        header.height = std::abs(qint64(qint32(u32(22)))); // negative: stored top row first
        bitsPerPixel = int(u16(28));
        compression = u32(30);
    } else {
        return std::nullopt;
    }
    // Plain rows, each padded to four bytes; measured only for sizes that are decoded at all.
    const bool measurable = header.width > 0 && header.height > 0 && bitsPerPixel > 0 && bitsPerPixel <= 64
                            && header.width * header.height <= SourceImage::kMaxPixels;
    if ((compression == 0 || compression == 3) && measurable)
        header.dataEnd = qint64(u32(10)) + (header.width * bitsPerPixel + 31) / 32 * 4 * header.height;
    return header;
}

bool isBmp(const QByteArray& bytes)
{
    return bmpHeader(bytes).has_value();
}

/// Qt's BMP reader over `bytes`, allowed as much memory as the largest raster we decode.
struct BmpReader {
    QBuffer buffer;
    QImageReader reader;

    explicit BmpReader(const QByteArray& bytes) : buffer(const_cast<QByteArray*>(&bytes))
    {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat("bmp");
        reader.setAutoTransform(false);
        reader.setAllocationLimit(int(SourceImage::kMaxPixels * 4 / (1024 * 1024)) + 1);
    }
};

/// The pixel size of a BMP, refused above the pixel limit and when its pixel data are cut short.
std::expected<QSize, Error> bmpSize(const QByteArray& bytes)
{
    const std::optional<BmpHeader> header = bmpHeader(bytes);
    if (!header || header->width <= 0 || header->height <= 0)
        return std::unexpected(unreadable({}));
    if (header->width * header->height > SourceImage::kMaxPixels)
        return std::unexpected(decoderError(
            QStringLiteral("Das Bild ist mit %1 × %2 Pixeln zu groß.").arg(header->width).arg(header->height)));
    if (header->dataEnd > bytes.size())
        return std::unexpected(unreadable(QStringLiteral("Die Datei ist unvollständig.")));
    BmpReader bmp(bytes);
    const QSize size = bmp.reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::unexpected(unreadable({}));
    return size;
}

/// Decodes a BMP and scales it to `target` (its own size for a full decode).
std::expected<QImage, Error> decodeBmp(const QByteArray& bytes, QSize target)
{
    BmpReader bmp(bytes);
    QImage image = bmp.reader.read();
    if (image.isNull())
        return std::unexpected(unreadable({}));
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::unexpected(decoderError(QStringLiteral("Nicht genug Speicher für das Bild.")));
    return image;
}

} // namespace

std::expected<SourceImage, Error> SourceImage::fromEncoded(QByteArray bytes)
{
    if (bytes.isEmpty())
        return std::unexpected(unreadable(QStringLiteral("Sie ist leer.")));
    if (auto rawHeader = raw::readHeader(bytes, kMaxPixels)) {
        if (!*rawHeader)
            return std::unexpected(rawFailure(rawHeader->error()));
        return fromRawBytes(std::move(bytes), **rawHeader);
    }
    return fromPlainBytes(std::move(bytes));
}

std::expected<SourceImage, Error> SourceImage::fromPlainBytes(QByteArray bytes)
{
    if (isBmp(bytes))
        return fromBmpBytes(std::move(bytes));
    if (!loaderFor(bytes))
        return std::unexpected(unreadable(QStringLiteral(
            "Ihr Format ist weder JPEG noch PNG, HEIC, WebP, TIFF, GIF, BMP oder ein Kamera-RAW-Format.")));
    vips::Ref header = openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL);
    if (!header)
        return std::unexpected(decoderFailure());
    const qint64 width = header.get()->Xsize;
    const qint64 height = header.get()->Ysize;
    if (width <= 0 || height <= 0)
        return std::unexpected(unreadable({}));
    if (width * height > kMaxPixels)
        return std::unexpected(
            decoderError(QStringLiteral("Das Bild ist mit %1 × %2 Pixeln zu groß.").arg(width).arg(height)));
    const bool swap = vips_image_get_orientation_swap(header.get()) != 0;

    auto data = std::make_shared<Data>();
    data->size = swap ? QSize(int(height), int(width)) : QSize(int(width), int(height));
    data->encoded = std::move(bytes);
    SourceImage source;
    source.m_data = std::move(data);
    return source;
}

std::expected<SourceImage, Error> SourceImage::fromRawBytes(QByteArray bytes, const raw::Header& header)
{
    auto data = std::make_shared<Data>();
    data->kind = EncodedKind::raw;
    data->size = header.size;
    data->rawHeader = header;
    data->encoded = std::move(bytes);
    SourceImage source;
    source.m_data = std::move(data);
    return source;
}

std::expected<SourceImage, Error> SourceImage::fromBmpBytes(QByteArray bytes)
{
    auto size = bmpSize(bytes);
    if (!size)
        return std::unexpected(size.error());
    auto data = std::make_shared<Data>();
    data->kind = EncodedKind::bmp;
    data->size = *size;
    data->encoded = std::move(bytes);
    SourceImage source;
    source.m_data = std::move(data);
    return source;
}

std::expected<SourceImage, Error> SourceImage::fromFile(const QString& path)
{
    return fromOpenFile(path, true);
}

std::expected<SourceImage, Error> SourceImage::fromFileReadOnDemand(const QString& path)
{
    return fromOpenFile(path, false);
}

std::expected<SourceImage, Error> SourceImage::fromOpenFile(const QString& path, bool keepBytes)
{
    auto file = OpenRegularFile::open(path);
    if (!file)
        return std::unexpected(decoderError(file.error().description));
    // A camera RAW file is read only for its header and preview: a card needs no more, and the
    // sensor data (most of a file of 50 MB) are read when they are decoded, or by keepWhole().
    if (auto head = raw::readFileHeader(*file, kMaxPixels)) {
        if (!*head)
            return std::unexpected(namingFile(rawFailure(head->error()), path));
        auto data = std::make_shared<Data>();
        data->kind = EncodedKind::raw;
        data->size = (*head)->header.size;
        data->rawHeader = (*head)->header;
        data->readOnDemand = path;
        data->fileIdentity = file->identity();
        data->rawKept = std::make_shared<RawKept>();
        data->rawKept->preview = std::move((*head)->previewJpeg);
        SourceImage source;
        source.m_data = std::move(data);
        return source;
    }
    std::expected<SourceImage, Error> source = std::unexpected(Error{});
    if (!keepBytes) {
        // Its size is all that is needed now. A JPEG's header (with its EXIF orientation) ends
        // before the scan data, mostly within the first few kilobytes: when that part is whole,
        // it is read alone; anything else is read whole and looked at as before.
        constexpr qint64 kHeaderPart = qint64(256) << 10;
        if (auto head = file->readAt(0, kHeaderPart); head && jpegLayout(*head).scanData > 0)
            source = fromPlainBytes(std::move(*head));
    }
    if (!source) {
        auto bytes = file->readAll();
        if (!bytes)
            return std::unexpected(decoderError(bytes.error().description));
        source = fromPlainBytes(std::move(*bytes));
    }
    if (!source)
        return std::unexpected(namingFile(source.error(), path));
    auto data = std::make_shared<Data>(*source->m_data);
    data->fileIdentity = file->identity();
    if (!keepBytes) {
        data->encoded = QByteArray();
        data->readOnDemand = path;
    }
    source->m_data = std::move(data);
    return source;
}

std::expected<void, Error> SourceImage::keepWhole() const
{
    if (!m_data || !m_data->rawKept)
        return {};
    RawKept& kept = *m_data->rawKept;
    {
        const std::lock_guard guard(kept.lock);
        if (!kept.whole.isEmpty())
            return {};
    }
    auto bytes = encodedNow();
    if (!bytes)
        return std::unexpected(bytes.error());
    const std::lock_guard guard(kept.lock);
    kept.whole = std::move(*bytes);
    if (m_data->rawHeader.previewLength > 0)
        kept.preview = QByteArray();
    return {};
}

std::optional<QByteArray> SourceImage::heldBytesOf(const QString& path) const
{
    if (!m_data || m_data->fileIdentity == FileIdentity{})
        return std::nullopt;
    const QByteArray held = heldWhole();
    if (held.isEmpty() || held.size() != m_data->fileIdentity.size || identityOf(path) != m_data->fileIdentity)
        return std::nullopt;
    return held;
}

SourceImage SourceImage::fromRaster(QImage raster)
{
    auto data = std::make_shared<Data>();
    if (raster.format() != QImage::Format_ARGB32_Premultiplied)
        raster.convertTo(QImage::Format_ARGB32_Premultiplied);
    data->size = raster.size();
    data->raster = std::move(raster);
    SourceImage source;
    source.m_data = std::move(data);
    return source;
}

SourceImage SourceImage::fromRasterInCache(const QImage& raster)
{
    auto cached = CachedRaster::store(raster);
    if (!cached)
        return fromRaster(raster);
    auto data = std::make_shared<Data>();
    data->size = cached->size();
    data->cached = std::move(cached);
    SourceImage source;
    source.m_data = std::move(data);
    return source;
}

QSize SourceImage::size() const
{
    return m_data ? m_data->size : QSize();
}

QByteArray SourceImage::encodedBytes() const
{
    return m_data ? encodedNow().value_or(QByteArray()) : QByteArray();
}

QByteArray SourceImage::heldWhole() const
{
    if (!m_data->rawKept)
        return m_data->encoded;
    const std::lock_guard guard(m_data->rawKept->lock);
    return m_data->rawKept->whole;
}

std::expected<QByteArray, Error> SourceImage::encodedNow() const
{
    if (m_data->readOnDemand.isEmpty())
        return m_data->encoded;
    if (QByteArray held = heldWhole(); !held.isEmpty())
        return held;
    const QString& path = m_data->readOnDemand;
    const auto changed = [&path] {
        return std::unexpected(namingFile(unreadable(QStringLiteral("Sie wurde seit dem Lesen verändert.")), path));
    };
    auto file = OpenRegularFile::open(path);
    if (!file)
        return std::unexpected(decoderError(file.error().description));
    if (!(file->identity() == m_data->fileIdentity))
        return changed();
    auto bytes = file->readAll();
    if (!bytes)
        return std::unexpected(decoderError(bytes.error().description));
    if (bytes->size() != m_data->fileIdentity.size)
        return changed();
    return bytes;
}

std::optional<SourceImage::PreviewBytes> SourceImage::rawPreviewBytes() const
{
    QByteArray bytes = m_data->encoded;
    if (m_data->rawKept) {
        const std::lock_guard guard(m_data->rawKept->lock);
        if (!m_data->rawKept->preview.isEmpty())
            return PreviewBytes{m_data->rawKept->preview, m_data->rawKept->preview};
        bytes = m_data->rawKept->whole;
    }
    if (bytes.isEmpty())
        return std::nullopt;
    const raw::Header& header = m_data->rawHeader;
    if (header.previewLength > 0 && header.previewOffset + header.previewLength <= bytes.size())
        return PreviewBytes{
            bytes, QByteArray::fromRawData(bytes.constData() + header.previewOffset, qsizetype(header.previewLength))};
    auto embedded = raw::embeddedJpeg(bytes);
    return embedded ? std::optional(PreviewBytes{*embedded, *embedded}) : std::nullopt;
}

bool SourceImage::isCameraRaw() const
{
    return m_data && m_data->kind == EncodedKind::raw;
}

QSize SourceImage::sensorSize() const
{
    return m_data ? m_data->rawHeader.sensor : QSize();
}

bool SourceImage::isRaster() const
{
    return m_data && (!m_data->raster.isNull() || m_data->cached);
}

std::expected<QImage, Error> SourceImage::decode() const
{
    if (!m_data)
        return std::unexpected(unreadable({}));
    if (m_data->cached)
        return m_data->cached->read();
    if (isRaster())
        return m_data->raster;
    if (m_data->readOnDemand.isEmpty())
        return decodeBytes(m_data->encoded);
    auto bytes = encodedNow();
    if (!bytes)
        return std::unexpected(bytes.error());
    auto decoded = decodeBytes(*bytes);
    // A file read again may have been replaced since its header was read.
    if (decoded && decoded->size() != m_data->size)
        return std::unexpected(
            namingFile(unreadable(QStringLiteral("Sie wurde seit dem Lesen verändert.")), m_data->readOnDemand));
    return decoded;
}

BandDecode SourceImage::decodeInBands(int bandRows, const std::function<QImage(int firstRow, int rows)>& into,
                                      const std::function<bool(QImage& band, int firstRow)>& done) const
{
    if (!m_data || m_data->cached || isRaster() || m_data->kind != EncodedKind::vips || bandRows <= 0)
        return BandDecode::refused;
    auto bytes = encodedNow();
    if (!bytes)
        return BandDecode::refused; // decode() tells why
    vips::Ref probe = openBuffer(*bytes, VIPS_ACCESS_SEQUENTIAL);
    if (!probe || !isPlainJpeg(*bytes, probe.get()))
        return BandDecode::refused;
    // A file read again that has been replaced since its header was read has another size:
    // refused here, decode() says so.
    JpegBandTarget target{bandRows, into, done, {}};
    return decodeJpegBands(*bytes, m_data->size.width(), m_data->size.height(), &target);
}

std::expected<QImage, Error> SourceImage::decodeBytes(const QByteArray& encoded) const
{
    if (m_data->kind == EncodedKind::raw) {
        auto full = raw::decodeFull(encoded);
        return full ? std::move(full) : std::unexpected(rawFailure(full.error()));
    }
    if (m_data->kind == EncodedKind::bmp)
        return decodeBmp(encoded, m_data->size);

    vips::Ref probe = openBuffer(encoded, VIPS_ACCESS_SEQUENTIAL);
    if (!probe)
        return std::unexpected(decoderFailure());
    if (std::optional<QImage> plain = decodePlainJpeg(encoded, probe.get()))
        return *plain;
    const int orientation = vips_image_get_orientation(probe.get());
    const QSize stored(probe.get()->Xsize, probe.get()->Ysize);
    const QByteArray& bytes = encoded;
    return decodeDamageAware(bytes, stored, [&](VipsFailOn failOn) -> std::expected<QImage, Error> {
        // A damaged file is read whole: libvips' sequential reader leaves out the last strip of
        // a file whose end is missing.
        const bool whole = orientation > 1 || failOn == VIPS_FAIL_ON_NONE;
        vips::Ref image = openBuffer(bytes, whole ? VIPS_ACCESS_RANDOM : VIPS_ACCESS_SEQUENTIAL, 1.0, failOn);
        if (!image)
            return std::unexpected(decoderFailure());
        if (orientation > 1) {
            vips::Ref upright;
            if (vips_autorot(image.get(), upright.out(), nullptr) != 0)
                return std::unexpected(decoderFailure());
            image = std::move(upright);
        }
        return materialise(std::move(image));
    });
}

std::expected<QImage, Error> SourceImage::decodeToFit(QSize box) const
{
    if (!m_data)
        return std::unexpected(unreadable({}));
    box = box.boundedTo(m_data->size);
    if (box.width() <= 0 || box.height() <= 0 || box == m_data->size)
        return decode();
    if (m_data->cached) {
        auto full = m_data->cached->read();
        if (!full)
            return full;
        return full->scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    if (isRaster())
        return m_data->raster.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);

    const QSize target = m_data->size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // A RAW file shows its embedded preview where that is large enough, else its sensor data.
    if (m_data->kind == EncodedKind::raw) {
        const std::optional<PreviewBytes> preview = rawPreviewBytes();
        if (auto shown =
                rawPreviewToFit(preview ? std::optional(preview->jpeg) : std::nullopt, m_data->rawHeader, target))
            return std::move(*shown);
    }
    const auto read = encodedNow();
    if (!read)
        return std::unexpected(read.error());
    const QByteArray& bytes = *read;
    if (m_data->kind == EncodedKind::raw)
        return rawDevelopedToFit(bytes, m_data->rawHeader, target);
    if (m_data->kind == EncodedKind::bmp)
        return decodeBmp(bytes, target);
    vips::Ref probe = openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL);
    if (!probe)
        return std::unexpected(decoderFailure());
    const QSize stored(probe.get()->Xsize, probe.get()->Ysize);
    return decodeDamageAware(bytes, stored, [&](VipsFailOn failOn) { return decodeShrunk(bytes, target, failOn); });
}

std::expected<QImage, Error> SourceImage::decodeScaled(double scale) const
{
    if (scale >= 1.0 || !m_data)
        return decode();
    const QSize full = size();
    const QSize box(std::max(1, int(std::ceil(full.width() * scale))),
                    std::max(1, int(std::ceil(full.height() * scale))));
    return decodeToFit(box);
}

Error namingFile(const Error& error, const QString& path)
{
    const QString name = quotedName(path);
    Error named = error;
    if (error.description.contains(name))
        return named;
    for (const QString& subject : {QStringLiteral("Die Datei ist "), QStringLiteral("Das Bild ist ")}) {
        if (error.description.startsWith(subject)) {
            named.description = name + QStringLiteral(" ist ") + error.description.mid(subject.size());
            return named;
        }
    }
    named.description = name + QStringLiteral(": ") + error.description;
    return named;
}

void loadOnlyUsedDecoders()
{
    if (qEnvironmentVariableIsSet("VIPSHOME"))
        return;
    // libvips takes its modules from <home>/lib/vips-modules-X.Y once its home is not the one it
    // was built for, and its messages' translations from <home>/share/locale. "/usr/" is not
    // "/usr" to it, yet names the same place for the translations, and the module folder it
    // then looks in, /usr//lib/vips-modules-X.Y, is not where a multiarch system keeps them.
    qputenv("VIPSHOME", QByteArrayLiteral(LUMORA_VIPS_PREFIX "/"));
}

} // namespace lumora

#include "pipeline/SourceImage.h"

#include "base/RegularFile.h"
#include "pipeline/CachedRaster.h"
#include "pipeline/Raster.h"
#include "pipeline/VipsSupport.h"

#include <cmath>

namespace lumora {

struct SourceImage::Data {
    QByteArray encoded; // empty for rasters
    QImage raster;      // null for encoded originals
    QSize size;         // upright
    /// A raster kept in the cache folder instead (then `raster` is null).
    std::shared_ptr<const CachedRaster> cached;
};

namespace {

Error decoderError(const QString& description)
{
    return Error{decoderErrors::domain, decoderErrors::unreadable, description};
}

Error unreadable(const QString& detail)
{
    QString text = QStringLiteral("Die Datei ist kein lesbares Bild.");
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return decoderError(text);
}

/// The libvips loader of a photo format, chosen by the file's first bytes.
using Loader = int (*)(void* buffer, size_t length, VipsImage** out, ...);

/// The loader for the photo formats read here (JPEG, PNG, HEIC/HEIF, WebP, TIFF), told by the
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
    if (at(4, "ftyp")) {
        for (const char* brand : {"heic", "heix", "mif1", "msf1", "hevc"}) {
            if (at(8, brand))
                return &vips_heifload_buffer;
        }
    }
    return nullptr;
}

/// Opens encoded bytes lazily (header only) with the loader of their format. `bytes` must
/// outlive the image. Null for bytes of no photo format, with nothing in libvips' error buffer.
vips::Ref openBuffer(const QByteArray& bytes, VipsAccess access)
{
    vips::ensureStarted();
    const Loader load = loaderFor(bytes);
    vips::Ref image;
    if (load)
        load(const_cast<char*>(bytes.constData()), size_t(bytes.size()), image.out(), "access", access, "fail_on",
             VIPS_FAIL_ON_ERROR, nullptr);
    return image;
}

/// Whether the pixels still need their embedded profile (or CMYK) converted to sRGB; the
/// thumbnail operation has done that already.
enum class Profile { convert, alreadySrgb };

/// Turns any decoded image into 8-bit sRGB with three bands, or four with alpha.
std::expected<vips::Ref, Error> toSrgb8(vips::Ref image, Profile profile)
{
    VipsImage* in = image.get();
    const bool hasProfile = vips_image_get_typeof(in, VIPS_META_ICC_NAME) != 0;
    const bool isCmyk = vips_image_guess_interpretation(in) == VIPS_INTERPRETATION_CMYK;
    vips::Ref next;
    if (profile == Profile::convert && (hasProfile || isCmyk)) {
        if (vips_icc_transform(in, next.out(), "srgb", "embedded", TRUE, "intent", VIPS_INTENT_RELATIVE, nullptr) == 0)
            image = std::move(next);
        else
            vips::takeError(); // a broken profile: fall back to a plain colourspace conversion
    }
    if (vips_image_guess_interpretation(image.get()) != VIPS_INTERPRETATION_sRGB || image.get()->Bands < 3) {
        if (vips_colourspace(image.get(), next.out(), VIPS_INTERPRETATION_sRGB, nullptr) != 0)
            return std::unexpected(unreadable(vips::takeError()));
        image = std::move(next);
    }
    if (image.get()->BandFmt != VIPS_FORMAT_UCHAR) {
        if (vips_cast_uchar(image.get(), next.out(), nullptr) != 0)
            return std::unexpected(unreadable(vips::takeError()));
        image = std::move(next);
    }
    if (image.get()->Bands > 4) {
        if (vips_extract_band(image.get(), next.out(), 0, "n", 4, nullptr) != 0)
            return std::unexpected(unreadable(vips::takeError()));
        image = std::move(next);
    }
    return image;
}

/// Receives the decoded rows from libvips' sink (in order, on its writer thread) and packs
/// them into the raster as premultiplied ARGB32.
struct RasterWriter {
    uchar* bits;
    qsizetype stride;
    int bands;

    static int write(VipsRegion* region, VipsRect* area, void* self)
    {
        const auto& w = *static_cast<RasterWriter*>(self);
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
std::expected<QImage, Error> materialise(vips::Ref image, Profile profile)
{
    auto srgb = toSrgb8(std::move(image), profile);
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
        return std::unexpected(
            decoderError(QStringLiteral("Das Bild konnte nicht dekodiert werden: ") + vips::takeError()));
    return raster;
}

} // namespace

std::expected<SourceImage, Error> SourceImage::fromEncoded(QByteArray bytes)
{
    if (bytes.isEmpty())
        return std::unexpected(unreadable(QStringLiteral("leere Datei")));
    if (!loaderFor(bytes))
        return std::unexpected(unreadable(QStringLiteral("kein JPEG, PNG, HEIC, WebP oder TIFF")));
    vips::Ref header = openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL);
    if (!header)
        return std::unexpected(unreadable(vips::takeError()));
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

std::expected<SourceImage, Error> SourceImage::fromFile(const QString& path)
{
    auto bytes = readRegularFile(path);
    if (!bytes)
        return std::unexpected(decoderError(bytes.error().description));
    return fromEncoded(std::move(*bytes));
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
    return m_data ? m_data->encoded : QByteArray();
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

    vips::Ref probe = openBuffer(m_data->encoded, VIPS_ACCESS_SEQUENTIAL);
    if (!probe)
        return std::unexpected(unreadable(vips::takeError()));
    const int orientation = vips_image_get_orientation(probe.get());
    vips::Ref image = orientation > 1 ? openBuffer(m_data->encoded, VIPS_ACCESS_RANDOM) : std::move(probe);
    if (!image)
        return std::unexpected(unreadable(vips::takeError()));
    if (orientation > 1) {
        vips::Ref upright;
        if (vips_autorot(image.get(), upright.out(), nullptr) != 0)
            return std::unexpected(unreadable(vips::takeError()));
        image = std::move(upright);
    }
    return materialise(std::move(image), Profile::convert);
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

    // Only bytes of a photo format get here (fromEncoded); libvips tells them by the same
    // headers, so the thumbnail reads them with the same loader.
    vips::ensureStarted();
    vips::Ref thumb;
    if (vips_thumbnail_buffer(const_cast<char*>(m_data->encoded.constData()), size_t(m_data->encoded.size()),
                              thumb.out(), box.width(), "height", box.height(), "size", VIPS_SIZE_DOWN, "option_string",
                              "fail_on=error", nullptr)
        != 0)
        return std::unexpected(unreadable(vips::takeError()));
    return materialise(std::move(thumb), Profile::alreadySrgb);
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

} // namespace lumora

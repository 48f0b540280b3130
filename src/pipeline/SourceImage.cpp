#include "SourceImage.h"

#include "VipsSupport.h"

#include <QFile>
#include <cmath>

namespace lumora {

struct SourceImage::Data {
    QByteArray encoded; // empty for rasters
    QImage raster;      // null for encoded originals
    QSize size;         // upright
};

namespace {

Error decoderError(const QString& description)
{
    return Error{QStringLiteral("Decoder"), -1, description};
}

Error unreadable(const QString& detail)
{
    QString text = QStringLiteral("Die Datei ist kein lesbares Bild.");
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return decoderError(text);
}

/// Opens encoded bytes lazily (header only). `bytes` must outlive the image.
vips::Ref openBuffer(const QByteArray& bytes, VipsAccess access)
{
    vips::ensureStarted();
    return vips::Ref(vips_image_new_from_buffer(bytes.constData(), size_t(bytes.size()), "", "access", access,
                                                "fail_on", VIPS_FAIL_ON_ERROR, nullptr));
}

/// Turns any decoded image into 8-bit sRGB with four bands in B, G, R, A memory order.
std::expected<vips::Ref, Error> toBgra8(vips::Ref image)
{
    VipsImage* in = image.get();
    const bool hasProfile = vips_image_get_typeof(in, VIPS_META_ICC_NAME) != 0;
    const bool isCmyk = vips_image_guess_interpretation(in) == VIPS_INTERPRETATION_CMYK;
    vips::Ref next;
    if (hasProfile || isCmyk) {
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
    VipsImage* bands[4] = {};
    vips::Ref b, g, r, a;
    if (vips_extract_band(image.get(), b.out(), 2, nullptr) || vips_extract_band(image.get(), g.out(), 1, nullptr)
        || vips_extract_band(image.get(), r.out(), 0, nullptr))
        return std::unexpected(unreadable(vips::takeError()));
    if (image.get()->Bands >= 4) {
        if (vips_extract_band(image.get(), a.out(), 3, nullptr))
            return std::unexpected(unreadable(vips::takeError()));
    } else if (vips_black(a.out(), image.get()->Xsize, image.get()->Ysize, nullptr) == 0) {
        vips::Ref opaque;
        if (vips_linear1(a.get(), opaque.out(), 0.0, 255.0, "uchar", TRUE, nullptr))
            return std::unexpected(unreadable(vips::takeError()));
        a = std::move(opaque);
    }
    bands[0] = b.get();
    bands[1] = g.get();
    bands[2] = r.get();
    bands[3] = a.get();
    if (vips_bandjoin(bands, next.out(), 4, nullptr) != 0)
        return std::unexpected(unreadable(vips::takeError()));
    return next;
}

/// Runs the decode and wraps the pixel memory in a QImage without copying.
std::expected<QImage, Error> materialise(vips::Ref image, bool hasAlpha)
{
    auto bgra = toBgra8(std::move(image));
    if (!bgra)
        return std::unexpected(bgra.error());
    const int width = bgra->get()->Xsize;
    const int height = bgra->get()->Ysize;
    size_t length = 0;
    void* memory = vips_image_write_to_memory(bgra->get(), &length);
    if (!memory)
        return std::unexpected(decoderError(QStringLiteral("Das Bild konnte nicht dekodiert werden: ")
                                            + vips::takeError()));
    QImage wrapped(static_cast<uchar*>(memory), width, height, qsizetype(width) * 4,
                   hasAlpha ? QImage::Format_ARGB32 : QImage::Format_ARGB32_Premultiplied,
                   [](void* p) { g_free(p); }, memory);
    if (hasAlpha)
        wrapped.convertTo(QImage::Format_ARGB32_Premultiplied);
    return wrapped;
}

bool hasAlphaBand(VipsImage* image)
{
    return vips_image_hasalpha(image) != 0;
}

} // namespace

std::expected<SourceImage, Error> SourceImage::fromEncoded(QByteArray bytes)
{
    if (bytes.isEmpty())
        return std::unexpected(unreadable(QStringLiteral("leere Datei")));
    vips::Ref header = openBuffer(bytes, VIPS_ACCESS_SEQUENTIAL);
    if (!header)
        return std::unexpected(unreadable(vips::takeError()));
    const qint64 width = header.get()->Xsize;
    const qint64 height = header.get()->Ysize;
    if (width <= 0 || height <= 0)
        return std::unexpected(unreadable({}));
    if (width * height > kMaxPixels)
        return std::unexpected(decoderError(
            QStringLiteral("Das Bild ist mit %1 × %2 Pixeln zu groß.").arg(width).arg(height)));
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::unexpected(decoderError(QStringLiteral("Die Datei kann nicht gelesen werden: ") + file.errorString()));
    return fromEncoded(file.readAll());
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
    return m_data && !m_data->raster.isNull();
}

std::expected<QImage, Error> SourceImage::decode() const
{
    if (!m_data)
        return std::unexpected(unreadable({}));
    if (isRaster())
        return m_data->raster;

    vips::Ref probe = openBuffer(m_data->encoded, VIPS_ACCESS_SEQUENTIAL);
    if (!probe)
        return std::unexpected(unreadable(vips::takeError()));
    const int orientation = vips_image_get_orientation(probe.get());
    vips::Ref image = orientation > 1 ? openBuffer(m_data->encoded, VIPS_ACCESS_RANDOM) : std::move(probe);
    if (!image)
        return std::unexpected(unreadable(vips::takeError()));
    const bool alpha = hasAlphaBand(image.get());
    if (orientation > 1) {
        vips::Ref upright;
        if (vips_autorot(image.get(), upright.out(), nullptr) != 0)
            return std::unexpected(unreadable(vips::takeError()));
        image = std::move(upright);
    }
    return materialise(std::move(image), alpha);
}

std::expected<QImage, Error> SourceImage::decodeToFit(QSize box) const
{
    if (!m_data)
        return std::unexpected(unreadable({}));
    box = box.boundedTo(m_data->size);
    if (box.width() <= 0 || box.height() <= 0 || box == m_data->size)
        return decode();
    if (isRaster())
        return m_data->raster.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);

    vips::ensureStarted();
    vips::Ref thumb;
    if (vips_thumbnail_buffer(const_cast<char*>(m_data->encoded.constData()), size_t(m_data->encoded.size()),
                              thumb.out(), box.width(), "height", box.height(), "size", VIPS_SIZE_DOWN,
                              "option_string", "fail_on=error", nullptr)
        != 0)
        return std::unexpected(unreadable(vips::takeError()));
    const bool alpha = hasAlphaBand(thumb.get());
    return materialise(std::move(thumb), alpha);
}

std::expected<QImage, Error> SourceImage::decodeScaled(double scale) const
{
    if (scale >= 1.0 || !m_data)
        return decode();
    const QSize full = size();
    const QSize box(std::max(1, int(std::ceil(full.width() * scale))), std::max(1, int(std::ceil(full.height() * scale))));
    return decodeToFit(box);
}

} // namespace lumora

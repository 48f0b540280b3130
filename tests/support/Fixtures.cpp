#include "Fixtures.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <lcms2.h>

#include <vips/vips.h>

#include <vector>

namespace lumora::test {

QImage solid(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

QImage quadrants(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const int hw = w / 2, hh = h / 2;
    painter.fillRect(0, 0, hw, hh, Qt::red);
    painter.fillRect(hw, 0, w - hw, hh, Qt::green);
    painter.fillRect(0, hh, hw, h - hh, Qt::blue);
    painter.fillRect(hw, hh, w - hw, h - hh, Qt::white);
    return image;
}

QImage noise(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    quint32 state = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, 0xFF000000u | (state >> 8));
        }
    return image;
}

QImage grayMask(int w, int h, int value)
{
    QImage mask(w, h, QImage::Format_Grayscale8);
    mask.fill(uint(value));
    return mask;
}

QColor pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

void drainPosted()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QString adobeRgbProfile()
{
    static const QTemporaryDir folder;
    static const QString path = [] {
        const QString file = folder.filePath(QStringLiteral("AdobeRGB1998.icc"));
        const cmsCIExyY whitePoint{0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        cmsHPROFILE profile = cmsCreateRGBProfile(&whitePoint, &primaries, curves);
        const bool saved = profile && cmsSaveProfileToFile(profile, QFile::encodeName(file).constData());
        if (profile)
            cmsCloseProfile(profile);
        cmsFreeToneCurve(gamma);
        return saved ? file : QString();
    }();
    return path;
}

QByteArray encodeWithVips(const QImage& image, const QString& format, int orientation, const QString& profile)
{
    (void)VIPS_INIT("lumora-tests");
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    VipsImage* in = vips_image_new_from_memory_copy(rgba.constBits(), size_t(rgba.sizeInBytes()), rgba.width(),
                                                    rgba.height(), 4, VIPS_FORMAT_UCHAR);
    VipsImage* work = nullptr;
    bool translucent = false;
    for (int y = 0; y < image.height() && !translucent; ++y)
        for (int x = 0; x < image.width() && !translucent; ++x)
            translucent = qAlpha(image.pixel(x, y)) < 255;
    if (translucent && format != QLatin1String("jpg")) {
        work = in;
        g_object_ref(work);
    } else {
        vips_extract_band(in, &work, 0, "n", 3, nullptr);
    }
    g_object_unref(in);
    work->Type = VIPS_INTERPRETATION_sRGB;
    if (!profile.isEmpty()) {
        VipsImage* converted = nullptr;
        vips_icc_transform(work, &converted, profile.toUtf8().constData(), "input_profile", "srgb", "embedded", FALSE,
                           nullptr);
        g_object_unref(work);
        work = converted;
    }
    if (format == QLatin1String("png16")) {
        VipsImage* wide = nullptr;
        vips_colourspace(work, &wide, VIPS_INTERPRETATION_RGB16, nullptr);
        g_object_unref(work);
        work = wide;
    }
    if (orientation > 0) {
        VipsImage* copy = nullptr;
        vips_copy(work, &copy, nullptr);
        g_object_unref(work);
        work = copy;
        vips_image_set_int(work, VIPS_META_ORIENTATION, orientation);
    }
    void* buffer = nullptr;
    size_t length = 0;
    // The savers and their options by file suffix, as libvips picks them.
    const QString suffix = format == QLatin1String("jpg")            ? QStringLiteral(".jpg[Q=95,subsample-mode=off]")
                           : format.startsWith(QLatin1String("png")) ? QStringLiteral(".png")
                           : format == QLatin1String("webp")         ? QStringLiteral(".webp[lossless]")
                           : format == QLatin1String("heic")         ? QStringLiteral(".heic[Q=95]")
                                                                     : QLatin1Char('.') + format;
    const int rc = vips_image_write_to_buffer(work, suffix.toUtf8().constData(), &buffer, &length, nullptr);
    g_object_unref(work);
    if (rc != 0) {
        vips_error_clear();
        return {};
    }
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    g_free(buffer);
    return bytes;
}

} // namespace lumora::test

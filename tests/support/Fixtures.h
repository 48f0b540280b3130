#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

namespace lumora::test {

/// An opaque raster filled with one colour (Format_ARGB32_Premultiplied).
QImage solid(int w, int h, QColor color);

/// A w × h test card whose four quadrants have different colours (red top-left, green top-right,
/// blue bottom-left, white bottom-right, as seen upright), so every mirror and turn is visible.
QImage quadrants(int w, int h);

/// Encodes `image` with libvips as `format` ("jpg", "png", "png16", "webp", "tif", "heic"),
/// optionally tagging an EXIF orientation (1…8) or converting into an ICC profile (libvips' "p3" or "cmyk", or a profile file).
QByteArray encodeWithVips(const QImage& image, const QString& format, int orientation = 0, const QString& profile = {});

/// The path of an Adobe RGB (1998) display profile made for this test run (libvips ships none).
QString adobeRgbProfile();

/// An opaque raster of pseudo-random colours, the same for the same `seed`.
QImage noise(int w, int h, quint32 seed = 7);

/// A Format_Grayscale8 mask of w × h filled with `value`.
QImage grayMask(int w, int h, int value);

/// The colour of pixel (x, y) of a raster (y down), un-premultiplied.
QColor pixel(const QImage& image, int x, int y);

/// Runs every call posted to the UI thread so far.
void drainPosted();

} // namespace lumora::test

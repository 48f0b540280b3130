#pragma once

#include "Fixtures.h"
#include "pipeline/SourceImage.h"

#include <QImage>
#include <limits>
#include <string>

namespace lumora::test {

/// The letter of the colour among red, green, blue, white and black ("RGBWK") that `color` is
/// within `tolerance` of (summed over the channels), "?" for none.
inline char colourLetter(QColor color, int tolerance = 30)
{
    const std::pair<char, QColor> known[] = {
        {'R', Qt::red}, {'G', Qt::green}, {'B', Qt::blue}, {'W', Qt::white}, {'K', Qt::black}};
    for (const auto& [letter, c] : known) {
        if (std::abs(color.red() - c.red()) + std::abs(color.green() - c.green()) + std::abs(color.blue() - c.blue())
            < tolerance)
            return letter;
    }
    return '?';
}

/// The largest difference of one channel (red, green or blue) between `a` and `b`.
inline int channelDistance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

/// The colours at the centres of the four quadrants of `image` (top-left, top-right,
/// bottom-left, bottom-right, y down) as letters: "RGBW" for an upright quadrants() card.
inline std::string quadrantColours(const QImage& image, int tolerance = 30)
{
    std::string letters;
    for (const int y : {image.height() / 4, image.height() * 3 / 4})
        for (const int x : {image.width() / 4, image.width() * 3 / 4})
            letters += colourLetter(pixel(image, x, y), tolerance);
    return letters;
}

/// The largest channelDistance of two pixels at the same place of `a` and `b`; INT_MAX when
/// their sizes differ.
inline int largestDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return std::numeric_limits<int>::max();
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            largest = std::max(largest, channelDistance(a.pixelColor(x, y), b.pixelColor(x, y)));
    return largest;
}

/// How many pixels of `area` of `image` (raster coordinates, y down) pass `test`, which is given
/// the pixel's stored QRgb.
template <typename Test>
int countPixels(const QImage& image, QRect area, Test test)
{
    int count = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += test(image.pixel(x, y)) ? 1 : 0;
    return count;
}

/// The pixels the photo decoder makes of encoded `bytes`; a null image where it refuses them.
inline QImage decoded(const QByteArray& bytes)
{
    const auto source = SourceImage::fromEncoded(bytes);
    return source ? source->decode().value_or(QImage()) : QImage();
}

/// The pixels the photo decoder makes of the file at `path`; a null image where it refuses it.
inline QImage decodedFile(const QString& path)
{
    const auto source = SourceImage::fromFile(path);
    return source ? source->decode().value_or(QImage()) : QImage();
}

} // namespace lumora::test

#include "DngFile.h"

#include <QPainter>
#include <QRadialGradient>
#include <QTransform>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace lumora::test {

namespace {

/// One TIFF directory, written little-endian; values that do not fit in an entry follow it.
class Ifd {
public:
    void shorts(quint16 tag, const std::vector<quint16>& values) { put(tag, 3, values.size(), pack(values)); }
    void longs(quint16 tag, const std::vector<quint32>& values) { put(tag, 4, values.size(), pack(values)); }
    void bytes(quint16 tag, const std::vector<quint8>& values) { put(tag, 1, values.size(), pack(values)); }
    void ascii(quint16 tag, const QByteArray& text) { put(tag, 2, text.size() + 1, text + '\0'); }
    /// Signed (SRATIONAL) or unsigned (RATIONAL) fractions over 10000.
    void fractions(quint16 tag, const std::vector<double>& values, bool isSigned)
    {
        std::vector<qint32> parts;
        for (double v : values) {
            parts.push_back(qint32(std::lround(v * 10000)));
            parts.push_back(10000);
        }
        put(tag, isSigned ? 10 : 5, values.size(), pack(parts));
    }

    /// Bytes of the directory with its out-of-line values.
    [[nodiscard]] qsizetype size() const
    {
        qsizetype total = 2 + 12 * qsizetype(m_entries.size()) + 4;
        for (const auto& [tag, entry] : m_entries)
            total += entry.value.size() > 4 ? (entry.value.size() + 1) / 2 * 2 : 0;
        return total;
    }

    /// The directory placed at file offset `at`, pointing to `next` (0: the last one).
    [[nodiscard]] QByteArray write(quint32 at, quint32 next) const
    {
        QByteArray head;
        QByteArray tail;
        quint32 outside = at + 2 + 12 * quint32(m_entries.size()) + 4;
        head += le16(quint16(m_entries.size()));
        for (const auto& [tag, entry] : m_entries) {
            head += le16(tag) + le16(entry.type) + le32(entry.count);
            if (entry.value.size() <= 4) {
                head += entry.value + QByteArray(4 - entry.value.size(), '\0');
            } else {
                head += le32(outside + quint32(tail.size()));
                tail += entry.value;
                if (tail.size() % 2)
                    tail += '\0';
            }
        }
        head += le32(next);
        return head + tail;
    }

private:
    struct Entry {
        quint16 type;
        quint32 count;
        QByteArray value;
    };
    std::map<quint16, Entry> m_entries; // sorted by tag, as TIFF wants

    void put(quint16 tag, quint16 type, size_t count, QByteArray value)
    {
        m_entries[tag] = Entry{type, quint32(count), std::move(value)};
    }
    static QByteArray le16(quint16 v)
    {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    }
    static QByteArray le32(quint32 v)
    {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    }
    template <typename T>
    static QByteArray pack(const std::vector<T>& values)
    {
        QByteArray b(qsizetype(values.size() * sizeof(T)), '\0');
        for (size_t i = 0; i < values.size(); ++i)
            qToLittleEndian(values[i], b.data() + i * sizeof(T));
        return b;
    }
};

enum Tag : quint16 {
    newSubfileType = 254,
    imageWidth = 256,
    imageLength = 257,
    bitsPerSample = 258,
    compression = 259,
    photometric = 262,
    make = 271,
    model = 272,
    stripOffsets = 273,
    orientationTag = 274,
    samplesPerPixel = 277,
    rowsPerStrip = 278,
    stripByteCounts = 279,
    planarConfig = 284,
    subIfds = 330,
    cfaRepeatPatternDim = 33421,
    cfaPattern = 33422,
    dngVersion = 50706,
    uniqueCameraModel = 50708,
    blackLevel = 50714,
    whiteLevel = 50717,
    colorMatrix1 = 50721,
    asShotNeutral = 50728,
    calibrationIlluminant1 = 50778,
};

double linear(int code)
{
    const double v = code / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

/// The sensor data: RGGB, one colour per pixel, 16-bit little-endian.
QByteArray mosaic(const QImage& stored, const std::array<double, 3>& neutral)
{
    std::array<double, 256> lut{};
    for (int i = 0; i < 256; ++i)
        lut[size_t(i)] = linear(i);
    const QImage rgb = stored.convertToFormat(QImage::Format_RGB32);
    QByteArray data(qsizetype(rgb.width()) * rgb.height() * 2, '\0');
    auto* out = reinterpret_cast<uchar*>(data.data());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const int channel = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            const QRgb v = line[x];
            const int code = channel == 0 ? qRed(v) : channel == 1 ? qGreen(v) : qBlue(v);
            const double value = kDngBlack + lut[size_t(code)] * neutral[size_t(channel)] * (kDngWhite - kDngBlack);
            qToLittleEndian(quint16(std::lround(value)), out);
            out += 2;
        }
    }
    return data;
}

/// The tags that describe the camera and its colour, in IFD 0.
void describeCamera(Ifd& ifd, const DngOptions& options)
{
    ifd.bytes(dngVersion, {1, 4, 0, 0});
    ifd.ascii(make, "Lumora");
    ifd.ascii(model, "Testkamera");
    ifd.ascii(uniqueCameraModel, "Lumora Testkamera");
    ifd.shorts(orientationTag, {quint16(options.orientation)});
    // XYZ (D65) to linear sRGB: the camera's primaries are sRGB's.
    ifd.fractions(colorMatrix1, {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570}, true);
    ifd.fractions(asShotNeutral, {options.neutral[0], options.neutral[1], options.neutral[2]}, false);
    ifd.shorts(calibrationIlluminant1, {21});
}

void describeSensor(Ifd& ifd, QSize size)
{
    ifd.longs(newSubfileType, {0});
    ifd.longs(imageWidth, {quint32(size.width())});
    ifd.longs(imageLength, {quint32(size.height())});
    ifd.shorts(bitsPerSample, {16});
    ifd.shorts(compression, {1});
    ifd.shorts(photometric, {32803});
    ifd.shorts(samplesPerPixel, {1});
    ifd.longs(rowsPerStrip, {quint32(size.height())});
    ifd.shorts(planarConfig, {1});
    ifd.shorts(cfaRepeatPatternDim, {2, 2});
    ifd.bytes(cfaPattern, {0, 1, 1, 2});
    ifd.longs(blackLevel, {quint32(kDngBlack)});
    ifd.longs(whiteLevel, {quint32(kDngWhite)});
}

QImage storedOf(const QImage& photo, int orientation)
{
    switch (orientation) {
    case 3: return photo.transformed(QTransform().rotate(180));
    case 6: return photo.transformed(QTransform().rotate(-90));
    case 8: return photo.transformed(QTransform().rotate(90));
    default: return photo;
    }
}

} // namespace

QByteArray makeDng(const QImage& photo, const DngOptions& options)
{
    const QImage stored = storedOf(photo, options.orientation);
    const QByteArray sensorData = mosaic(stored, options.neutral);
    const QSize sensor = options.claimedSize.isValid() ? options.claimedSize : stored.size();
    const bool withPreview = !options.previewJpeg.isEmpty();

    Ifd first;
    Ifd raw;
    describeCamera(first, options);
    Ifd& sensorIfd = withPreview ? raw : first;
    describeSensor(sensorIfd, sensor);
    if (withPreview) {
        first.longs(newSubfileType, {1});
        first.longs(imageWidth, {quint32(options.previewSize.width())});
        first.longs(imageLength, {quint32(options.previewSize.height())});
        first.shorts(bitsPerSample, {8, 8, 8});
        first.shorts(compression, {7});
        first.shorts(photometric, {6});
        first.shorts(samplesPerPixel, {3});
        first.longs(rowsPerStrip, {quint32(options.previewSize.height())});
        first.shorts(planarConfig, {1});
        first.longs(stripOffsets, {0});
        first.longs(stripByteCounts, {quint32(options.previewJpeg.size())});
        first.longs(subIfds, {0});
    }
    sensorIfd.longs(stripOffsets, {0});
    sensorIfd.longs(stripByteCounts, {quint32(sensorData.size())});

    // Layout: header, IFD 0, the sensor's sub-IFD, the preview, the sensor data.
    const quint32 firstAt = 8;
    const quint32 rawAt = firstAt + quint32(first.size());
    const quint32 previewAt = rawAt + quint32(withPreview ? raw.size() : 0);
    const quint32 dataAt = previewAt + quint32(options.previewJpeg.size() + options.previewJpeg.size() % 2);
    if (withPreview) {
        first.longs(subIfds, {rawAt});
        first.longs(stripOffsets, {previewAt});
    }
    sensorIfd.longs(stripOffsets, {dataAt});

    QByteArray file("II*\0\x08\0\0\0", 8);
    file += first.write(firstAt, 0);
    if (withPreview)
        file += raw.write(rawAt, 0);
    file += options.previewJpeg;
    if (options.previewJpeg.size() % 2)
        file += '\0';
    file += sensorData;
    return file;
}

QImage photoLike(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(70, 120, 200));
    sky.setColorAt(0.6, QColor(200, 210, 190));
    sky.setColorAt(1, QColor(90, 140, 60));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(w * 0.7, h * 0.3, std::min(w, h) * 0.25);
    sun.setColorAt(0, QColor(255, 230, 150));
    sun.setColorAt(1, QColor(255, 230, 150, 0));
    painter.fillRect(image.rect(), sun);
    QRadialGradient flower(w * 0.3, h * 0.65, std::min(w, h) * 0.2);
    flower.setColorAt(0, QColor(200, 40, 60));
    flower.setColorAt(1, QColor(200, 40, 60, 0));
    painter.fillRect(image.rect(), flower);
    painter.fillRect(QRectF(w * 0.45, h * 0.5, w * 0.1, h * 0.4), QColor(60, 50, 45)); // one sharp edge
    return image;
}

} // namespace lumora::test

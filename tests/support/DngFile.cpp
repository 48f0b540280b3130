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
        head += le<quint16>(quint16(m_entries.size()));
        for (const auto& [tag, entry] : m_entries) {
            head += le<quint16>(tag) + le<quint16>(entry.type) + le<quint32>(entry.count);
            if (entry.value.size() <= 4) {
                head += entry.value + QByteArray(4 - entry.value.size(), '\0');
            } else {
                head += le<quint32>(outside + quint32(tail.size()));
                tail += entry.value;
                if (tail.size() % 2)
                    tail += '\0';
            }
        }
        head += le<quint32>(next);
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
    template <typename T>
    static QByteArray le(T value)
    {
        return pack(std::vector<T>{value});
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
    ifd.bytes(50706, {1, 4, 0, 0});                  // DNGVersion
    ifd.ascii(271, "Lumora");                        // Make
    ifd.ascii(272, "Testkamera");                    // Model
    ifd.ascii(50708, "Lumora Testkamera");           // UniqueCameraModel
    ifd.shorts(274, {quint16(options.orientation)}); // Orientation
    // ColorMatrix1, XYZ (D65) to linear sRGB: the camera's primaries are sRGB's.
    ifd.fractions(50721, {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570}, true);
    ifd.fractions(50728, {options.neutral[0], options.neutral[1], options.neutral[2]}, false); // AsShotNeutral
    ifd.shorts(50778, {21});                                                                   // CalibrationIlluminant1
}

/// The tags of one stored picture, the preview (a JPEG) or the sensor data: one strip of `bytes`
/// bytes, whose offset is set once the layout is known.
void describePicture(Ifd& ifd, bool preview, QSize size, qsizetype bytes)
{
    ifd.longs(254, {preview ? 1u : 0u});                                                 // NewSubfileType
    ifd.longs(256, {quint32(size.width())});                                             // ImageWidth
    ifd.longs(257, {quint32(size.height())});                                            // ImageLength
    ifd.shorts(258, preview ? std::vector<quint16>{8, 8, 8} : std::vector<quint16>{16}); // BitsPerSample
    ifd.shorts(259, {quint16(preview ? 7 : 1)});                                         // Compression: JPEG or none
    ifd.shorts(262, {quint16(preview ? 6 : 32803)}); // PhotometricInterpretation: YCbCr or CFA
    ifd.shorts(277, {quint16(preview ? 3 : 1)});     // SamplesPerPixel
    ifd.longs(278, {quint32(size.height())});        // RowsPerStrip
    ifd.shorts(284, {1});                            // PlanarConfiguration
    ifd.longs(273, {0});                             // StripOffsets
    ifd.longs(279, {quint32(bytes)});                // StripByteCounts
    if (!preview) {
        ifd.shorts(33421, {2, 2});              // CFARepeatPatternDim
        ifd.bytes(33422, {0, 1, 1, 2});         // CFAPattern
        ifd.longs(50714, {quint32(kDngBlack)}); // BlackLevel
        ifd.longs(50717, {quint32(kDngWhite)}); // WhiteLevel
    }
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
    describePicture(sensorIfd, false, sensor, sensorData.size());
    if (withPreview) {
        describePicture(first, true, options.previewSize, options.previewJpeg.size());
        first.longs(330, {0}); // SubIFDs
    }

    // Layout: header, IFD 0, the sensor's sub-IFD, the preview, the sensor data.
    const quint32 firstAt = 8;
    const quint32 rawAt = firstAt + quint32(first.size());
    const quint32 previewAt = rawAt + quint32(withPreview ? raw.size() : 0);
    const quint32 dataAt = previewAt + quint32(options.previewJpeg.size() + options.previewJpeg.size() % 2);
    if (withPreview) {
        first.longs(330, {rawAt});     // SubIFDs
        first.longs(273, {previewAt}); // StripOffsets
    }
    sensorIfd.longs(273, {dataAt}); // StripOffsets

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

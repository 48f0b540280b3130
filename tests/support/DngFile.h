#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <array>

namespace lumora::test {

/// How makeDng lays out its file.
struct DngOptions {
    /// Encoded JPEG stored as the file's preview (IFD 0, the sensor data in a sub-IFD, as cameras
    /// and converters write them); none when empty.
    QByteArray previewJpeg;
    QSize previewSize;   ///< the preview's pixel size as stored
    int orientation = 1; ///< TIFF orientation of the photo (1 upright, 6 turned right…)
    /// The white balance as shot: raw values are the linear colour times these (green 1).
    std::array<double, 3> neutral{0.5, 1.0, 0.7};
    /// When set, the header claims this sensor size while holding the sensor data of `photo`.
    QSize claimedSize;
};

inline constexpr int kDngBlack = 512;
inline constexpr int kDngWhite = 16383;

/// A DNG of `photo` (sRGB, shown upright; stored turned back by `orientation`) as a camera with
/// an RGGB Bayer sensor and linear-sRGB primaries records it: each pixel keeps one of its three
/// linear colours, scaled by the white balance into 14 bits above a black level, uncompressed.
/// The colour matrix is the XYZ → linear sRGB one, so a faithful decode gives `photo` back up
/// to the demosaicing's error. The headers come first and the data after them, as in camera files.
[[nodiscard]] QByteArray makeDng(const QImage& photo, const DngOptions& options = {});

/// A smooth, photo-like picture (gradients, soft shapes, one sharp edge), the same every time.
[[nodiscard]] QImage photoLike(int w, int h);

} // namespace lumora::test

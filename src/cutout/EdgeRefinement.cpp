#include "cutout/EdgeRefinement.h"

#include "base/Parallel.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

QImage asGray(const QImage& image)
{
    return image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
}

cv::Mat wrap(const QImage& image, int type)
{
    return cv::Mat(image.height(), image.width(), type, const_cast<uchar*>(image.constBits()),
                   size_t(image.bytesPerLine()));
}

// Rec. 601 luminance of one 32-bit pixel (QImage's ARGB32 layout in memory is B, G, R, A on
// little-endian machines, which is what qRed/qGreen/qBlue read through QRgb).
inline float luma(QRgb pixel)
{
    return (0.299f * float(qRed(pixel)) + 0.587f * float(qGreen(pixel)) + 0.114f * float(qBlue(pixel))) / 255.f;
}

cv::Mat boxMean(const cv::Mat& m, int r)
{
    cv::Mat out;
    cv::boxFilter(m, out, CV_32F, cv::Size(2 * r + 1, 2 * r + 1), cv::Point(-1, -1), true, cv::BORDER_REFLECT);
    return out;
}

} // namespace

QImage scaleMask(const QImage& mask, QSize size)
{
    if (mask.isNull() || size.isEmpty())
        return {};
    const QImage gray = asGray(mask);
    QImage out(size, QImage::Format_Grayscale8);
    cv::Mat dst = wrap(out, CV_8UC1);
    cv::resize(wrap(gray, CV_8UC1), dst, dst.size(), 0, 0, cv::INTER_LINEAR);
    return out;
}

QImage refineMask(const QImage& mask, const QImage& photo, const EdgeRefinementParams& params)
{
    if (mask.isNull() || photo.isNull())
        return {};
    const QImage rgb = photo.format() == QImage::Format_ARGB32_Premultiplied || photo.format() == QImage::Format_ARGB32
                               || photo.format() == QImage::Format_RGB32
                           ? photo
                           : photo.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = rgb.width();
    const int height = rgb.height();
    const int longSide = std::max(width, height);

    // The coefficients live on the mask's detail grid (never finer than the photo); the
    // reduction averages areas, so a cell across an edge mixes photo and mask alike.
    const int detailSide = params.maskDetailSide > 0 ? params.maskDetailSide : std::max(mask.width(), mask.height());
    const double shrink = std::min(1.0, double(std::max(1, detailSide)) / longSide);
    const cv::Size low(std::max(1, int(std::lround(width * shrink))), std::max(1, int(std::lround(height * shrink))));
    const int r = std::max(1, params.radius);

    cv::Mat photoLow;
    cv::resize(wrap(rgb, CV_8UC4), photoLow, low, 0, 0, cv::INTER_AREA);
    cv::Mat guide(low, CV_32F);
    for (int y = 0; y < low.height; ++y) {
        const auto* src = photoLow.ptr<QRgb>(y);
        auto* dst = guide.ptr<float>(y);
        for (int x = 0; x < low.width; ++x)
            dst[x] = luma(src[x]);
    }

    const QImage gray = asGray(mask);
    cv::Mat maskLow8;
    const bool reducing = gray.width() > low.width || gray.height() > low.height;
    cv::resize(wrap(gray, CV_8UC1), maskLow8, low, 0, 0, reducing ? cv::INTER_AREA : cv::INTER_LINEAR);
    cv::Mat p;
    maskLow8.convertTo(p, CV_32F, 1.0 / 255);

    const cv::Mat meanI = boxMean(guide, r);
    const cv::Mat meanP = boxMean(p, r);
    const cv::Mat corrIP = boxMean(guide.mul(p), r);
    const cv::Mat corrII = boxMean(guide.mul(guide), r);
    const cv::Mat varI = corrII - meanI.mul(meanI);
    const cv::Mat covIP = corrIP - meanI.mul(meanP);
    cv::Mat a = covIP / (varI + params.eps);
    cv::Mat b = meanP - a.mul(meanI);
    const cv::Mat meanA = boxMean(a, r);
    const cv::Mat meanB = boxMean(b, r);

    // Full resolution: q = A·I + B with A, B sampled bilinearly and I the photo's own
    // luminance, row by row without full-size temporaries.
    QImage out(width, height, QImage::Format_Grayscale8);
    std::vector<int> x0(static_cast<size_t>(width));
    std::vector<float> fx(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float sx =
            std::clamp((float(x) + 0.5f) * float(low.width) / float(width) - 0.5f, 0.f, float(low.width - 1));
        x0[size_t(x)] = std::min(int(sx), low.width - 2 < 0 ? 0 : low.width - 2);
        fx[size_t(x)] = low.width > 1 ? sx - float(x0[size_t(x)]) : 0.f;
    }
    const float cut = float(std::clamp(params.tailCut, 0.0, 0.45));
    const float stretch = 1.f / (1.f - 2.f * cut);
    // Our own bands rather than OpenCV's thread pool: the pool the rest of the app shares, and
    // hand-overs a thread sanitizer can see.
    uchar* bits = out.bits(); // detach once, before the bands share the buffer
    const qsizetype stride = out.bytesPerLine();
    parallelBands(height, 64, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float sy =
                std::clamp((float(y) + 0.5f) * float(low.height) / float(height) - 0.5f, 0.f, float(low.height - 1));
            const int y0 = std::min(int(sy), std::max(0, low.height - 2));
            const int y1 = std::min(y0 + 1, low.height - 1);
            const float fy = sy - float(y0);
            const float* a0 = meanA.ptr<float>(y0);
            const float* a1 = meanA.ptr<float>(y1);
            const float* b0 = meanB.ptr<float>(y0);
            const float* b1 = meanB.ptr<float>(y1);
            const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uchar* dst = bits + y * stride;
            for (int x = 0; x < width; ++x) {
                const int i0 = x0[size_t(x)];
                const int i1 = std::min(i0 + 1, low.width - 1);
                const float f = fx[size_t(x)];
                const float aTop = a0[i0] + (a0[i1] - a0[i0]) * f;
                const float aBottom = a1[i0] + (a1[i1] - a1[i0]) * f;
                const float bTop = b0[i0] + (b0[i1] - b0[i0]) * f;
                const float bBottom = b1[i0] + (b1[i1] - b1[i0]) * f;
                const float av = aTop + (aBottom - aTop) * fy;
                const float bv = bTop + (bBottom - bTop) * fy;
                const float q = (av * luma(src[x]) + bv - cut) * stretch;
                dst[x] = uchar(std::clamp(q, 0.f, 1.f) * 255.f + 0.5f);
            }
        }
    });
    return out;
}

} // namespace lumora

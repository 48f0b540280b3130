#include "cutout/EdgeRefinement.h"
#include "support/Fixtures.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace lumora::test {
namespace {

// A photo whose left part (x < edge) is the dark subject and the right part a bright
// background, and a mask that knows the edge only from a copy `shrink` times smaller.
struct StepEdge {
    QImage photo;
    QImage coarseMask;
    int edge = 0;
};

StepEdge stepEdge(int w, int h, int edge, int shrink)
{
    StepEdge step{solid(w, h, QColor(200, 200, 190)), grayMask(w / shrink, h / shrink, 0), edge};
    QPainter(&step.photo).fillRect(0, 0, edge, h, QColor(40, 50, 60));
    for (int y = 0; y < step.coarseMask.height(); ++y)
        for (int x = 0; x < step.coarseMask.width(); ++x)
            step.coarseMask.scanLine(y)[x] = (x + 0.5) * shrink < edge ? 255 : 0;
    return step;
}

// Mean absolute difference (0…255) of a mask's middle row to the step's truth.
double rowError(const QImage& mask, int edge)
{
    const uchar* row = mask.constScanLine(mask.height() / 2);
    double sum = 0;
    for (int x = 0; x < mask.width(); ++x)
        sum += std::abs(int(row[x]) - (x < edge ? 255 : 0));
    return sum / mask.width();
}

TEST(EdgeRefinement, FollowsThePhotosEdgeBetterThanPlainScaling)
{
    // The edge lies inside a coarse mask pixel, so plain scaling blurs it over several pixels.
    for (const int edge : {301, 298, 305}) {
        const StepEdge step = stepEdge(601, 401, edge, 12);
        const QImage refined = refineMask(step.coarseMask, step.photo);
        const QImage scaled = scaleMask(step.coarseMask, step.photo.size());
        ASSERT_EQ(refined.size(), step.photo.size());
        ASSERT_EQ(refined.format(), QImage::Format_Grayscale8);
        EXPECT_LT(rowError(refined, edge), 0.5 * rowError(scaled, edge)) << edge;
        EXPECT_GT(refined.constScanLine(200)[edge - 3], 190) << edge;
        EXPECT_LT(refined.constScanLine(200)[edge + 2], 55) << edge;
    }
}

TEST(EdgeRefinement, SoftTransitionsOfThePhotoStaySoft)
{
    // A luminance ramp 40 px wide with the mask following it: the refined mask ramps too.
    QImage photo(400, 100, QImage::Format_ARGB32_Premultiplied);
    QImage mask(400, 100, QImage::Format_Grayscale8);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 400; ++x) {
            const double t = std::clamp((x - 180) / 40.0, 0.0, 1.0);
            const int v = int(40 + t * 160);
            reinterpret_cast<QRgb*>(photo.scanLine(y))[x] = qRgb(v, v, v);
            mask.scanLine(y)[x] = uchar(255 * (1 - t));
        }
    const QImage refined = refineMask(mask, photo);
    const int middle = refined.constScanLine(50)[200];
    EXPECT_GT(middle, 90);
    EXPECT_LT(middle, 165);
}

TEST(EdgeRefinement, EdgeSizesAndEmptyInputs)
{
    EXPECT_TRUE(refineMask({}, solid(4, 4, Qt::red)).isNull());
    EXPECT_TRUE(refineMask(grayMask(4, 4, 255), {}).isNull());
    for (const QSize size : {QSize(1, 1), QSize(7, 1), QSize(1, 9), QSize(33, 17)}) {
        const QImage refined = refineMask(grayMask(3, 3, 255), solid(size.width(), size.height(), Qt::blue));
        ASSERT_EQ(refined.size(), size);
        EXPECT_EQ(refined.constScanLine(size.height() - 1)[size.width() - 1], 255)
            << size.width() << "x" << size.height();
    }
}

} // namespace
} // namespace lumora::test

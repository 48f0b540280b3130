#include "pipeline/Blend.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// The watermark's stamps are blended by sourceOverRow where a painter blended them before: every
// pairing of source alpha and destination must give the painter's bytes, or a re-rendered photo
// differs from the one exported earlier.
TEST(SourceOverRow, GivesThePaintersBytes)
{
    constexpr int kWidth = 4099; // not a multiple of any vector width
    QImage src(kWidth, 64, QImage::Format_ARGB32_Premultiplied);
    QImage dst(kWidth, 64, QImage::Format_ARGB32_Premultiplied);
    quint32 state = 7;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    auto premultiplied = [](quint32 bits, quint32 a) {
        const auto channel = [&](int shift) { return ((bits >> shift) & 0xFF) * a / 255; };
        return (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
    };
    for (int y = 0; y < src.height(); ++y) {
        auto* s = reinterpret_cast<quint32*>(src.scanLine(y));
        auto* d = reinterpret_cast<quint32*>(dst.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const quint32 alphas[] = {0, 255, next() >> 24};
            s[x] = premultiplied(next(), alphas[x % 3]);
            d[x] = premultiplied(next(), x % 5 == 0 ? 255 : next() >> 24);
        }
    }
    QImage painted = dst.copy();
    QPainter(&painted).drawImage(0, 0, src);
    for (int y = 0; y < dst.height(); ++y) {
        lumora::sourceOverRow(reinterpret_cast<quint32*>(dst.scanLine(y)),
                              reinterpret_cast<const quint32*>(src.constScanLine(y)), kWidth);
        const auto* ours = reinterpret_cast<const quint32*>(dst.constScanLine(y));
        const auto* theirs = reinterpret_cast<const quint32*>(painted.constScanLine(y));
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(ours[x], theirs[x]) << x << "," << y;
    }
}

} // namespace

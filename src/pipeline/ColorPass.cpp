#include "ColorPass.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace lumora {

namespace {

double srgbDecode(double v)
{
    const double a = std::abs(v);
    const double l = a <= 0.04045 ? a / 12.92 : std::pow((a + 0.055) / 1.055, 2.4);
    return v < 0 ? -l : l;
}

double srgbEncode(double l)
{
    const double a = std::abs(l);
    const double v = a <= 0.0031308 ? 12.92 * a : 1.055 * std::pow(a, 1.0 / 2.4) - 0.055;
    return l < 0 ? -v : v;
}

/// Constants of one render: out = k1·c + k2·Y + k3 + gain·(Y − blur(Y)) per channel c,
/// where Y is the luminance after exposure. Colour controls reduce to this because the
/// luminance weights sum to 1, so the luminance after colour controls is contrast·Y + k3 and
/// the sharpening detail of that is contrast·(Y − blur(Y)).
struct Kernel {
    float lut[256];
    float k1 = 1, k2 = 0, k3 = 0;
    float gain = 0;
    QList<float> taps; // centre first
    int radius = 0;
};

constexpr float kWr = 0.2126f, kWg = 0.7152f, kWb = 0.0722f;

Kernel makeKernel(const AdjustmentState& adjustment, double sharpenSigma)
{
    Kernel k;
    exposureTable(adjustment.exposure, k.lut);
    const float c = float(std::max(adjustment.contrast, 0.0));
    const float s = float(adjustment.saturation);
    const float b = float(adjustment.brightness);
    k.k1 = c * s;
    k.k2 = c * (1.0f - s);
    k.k3 = 0.5f - 0.5f * c + b;
    if (adjustment.sharpness > 0 && sharpenSigma > 0) {
        k.taps = gaussianTaps(sharpenSigma);
        k.radius = int(k.taps.size()) - 1;
        k.gain = float(2.0 * adjustment.sharpness) * c;
        if (k.radius == 0)
            k.gain = 0; // a one-tap blur leaves no detail
    }
    return k;
}

/// Exposure-mapped, un-premultiplied channels of one source row.
struct RowChannels {
    std::vector<float> r, g, b, y;
    std::vector<quint8> a;
    explicit RowChannels(int width) : r(size_t(width)), g(size_t(width)), b(size_t(width)), y(size_t(width)), a(size_t(width)) {}
};

void loadRow(const Kernel& k, const quint32* __restrict src, int width, RowChannels& out)
{
    float* __restrict r = out.r.data();
    float* __restrict g = out.g.data();
    float* __restrict b = out.b.data();
    float* __restrict y = out.y.data();
    quint8* __restrict alpha = out.a.data();
    for (int x = 0; x < width; ++x) {
        const quint32 p = src[x];
        const quint32 a = p >> 24;
        quint32 cr = (p >> 16) & 0xFF, cg = (p >> 8) & 0xFF, cb = p & 0xFF;
        if (a != 255) {
            if (a == 0) {
                cr = cg = cb = 0;
            } else { // un-premultiply to the nearest code
                cr = std::min<quint32>(255, (cr * 255 + a / 2) / a);
                cg = std::min<quint32>(255, (cg * 255 + a / 2) / a);
                cb = std::min<quint32>(255, (cb * 255 + a / 2) / a);
            }
        }
        r[x] = k.lut[cr];
        g[x] = k.lut[cg];
        b[x] = k.lut[cb];
        alpha[x] = quint8(a);
        y[x] = kWr * r[x] + kWg * g[x] + kWb * b[x];
    }
}

inline quint32 toCode(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return quint32(v * 255.0f + 0.5f);
}

/// Writes the final pixels of one row into `dst` (width pixels, premultiplied).
void storeRow(const Kernel& k, const RowChannels& in, const float* __restrict detail, int width, quint32* __restrict dst)
{
    const float* __restrict r = in.r.data();
    const float* __restrict g = in.g.data();
    const float* __restrict b = in.b.data();
    const float* __restrict y = in.y.data();
    const quint8* __restrict alpha = in.a.data();
    for (int x = 0; x < width; ++x) {
        const float base = k.k2 * y[x] + k.k3 + (detail ? detail[x] : 0.0f);
        quint32 cr = toCode(k.k1 * r[x] + base);
        quint32 cg = toCode(k.k1 * g[x] + base);
        quint32 cb = toCode(k.k1 * b[x] + base);
        const quint32 a = alpha[x];
        if (a != 255) {
            cr = (cr * a + 127) / 255;
            cg = (cg * a + 127) / 255;
            cb = (cb * a + 127) / 255;
        }
        dst[x] = (a << 24) | (cr << 16) | (cg << 8) | cb;
    }
}

/// Horizontal Gaussian of one luminance row, edges repeated. `padded` has room for radius
/// extra values on both sides.
void blurRowH(const Kernel& k, const float* y, int width, float* padded, float* __restrict out)
{
    const int rad = k.radius;
    std::memcpy(padded + rad, y, sizeof(float) * size_t(width));
    for (int i = 0; i < rad; ++i) {
        padded[i] = y[0];
        padded[rad + width + i] = y[width - 1];
    }
    const float* taps = k.taps.constData();
    const float* __restrict c = padded + rad;
    for (int x = 0; x < width; ++x) {
        float sum = taps[0] * c[x];
        for (int t = 1; t <= rad; ++t)
            sum += taps[t] * (c[x - t] + c[x + t]);
        out[x] = sum;
    }
}

/// Places computed rows into the destination according to the turn.
class RowSink {
public:
    RowSink(uchar* dstBits, qsizetype dstStride, Dihedral turn, int srcWidth, int srcHeight)
        : m_bits(dstBits), m_stride(dstStride), m_turn(turn), m_w(srcWidth), m_h(srcHeight)
    {
        const QPoint o = turn.map(0, 0, m_w, m_h);
        m_origin = o;
        m_dx = turn.map(1, 0, m_w, m_h) - o; // step of the destination per source x
        m_dy = turn.map(0, 1, m_w, m_h) - o; // … per source y
        if (turn.transposes())
            m_block.resize(size_t(kBlock) * size_t(m_w));
    }

    /// The buffer to fill for source row y.
    quint32* rowBuffer(int y)
    {
        if (!m_turn.transposes()) {
            if (m_dx.x() == 1)
                return destRow(y) + 0; // written in place
            m_scratch.resize(size_t(m_w));
            return m_scratch.data();
        }
        if (m_blockRows == 0)
            m_blockStart = y;
        return m_block.data() + size_t(y - m_blockStart) * size_t(m_w);
    }

    void commitRow(int y, bool lastOfBand)
    {
        if (!m_turn.transposes()) {
            if (m_dx.x() == -1) {
                quint32* dest = destRow(y);
                for (int x = 0; x < m_w; ++x)
                    dest[m_w - 1 - x] = m_scratch[size_t(x)];
            }
            return;
        }
        ++m_blockRows;
        if (m_blockRows == kBlock || lastOfBand)
            flushBlock();
    }

private:
    static constexpr int kBlock = 16;

    quint32* destRow(int y)
    {
        const int dy = m_origin.y() + m_dy.y() * y; // non-transposing: destination row from source row
        return reinterpret_cast<quint32*>(m_bits + m_stride * dy);
    }

    void flushBlock()
    {
        // Source pixel (x, y) lands at column origin.x + dy.x·y, row origin.y + dx.y·x.
        for (int x = 0; x < m_w; ++x) {
            quint32* dest = reinterpret_cast<quint32*>(m_bits + m_stride * (m_origin.y() + m_dx.y() * x));
            const int col0 = m_origin.x() + m_dy.x() * m_blockStart;
            for (int i = 0; i < m_blockRows; ++i)
                dest[col0 + m_dy.x() * i] = m_block[size_t(i) * size_t(m_w) + size_t(x)];
        }
        m_blockRows = 0;
    }

    uchar* m_bits;
    qsizetype m_stride;
    Dihedral m_turn;
    int m_w, m_h;
    QPoint m_origin, m_dx, m_dy;
    std::vector<quint32> m_scratch;
    std::vector<quint32> m_block;
    int m_blockStart = 0;
    int m_blockRows = 0;
};

void processBand(const Kernel& k, const QImage& src, uchar* dstBits, qsizetype dstStride, Dihedral turn, int y0,
                 int y1)
{
    const int w = src.width();
    const int h = src.height();
    RowSink sink(dstBits, dstStride, turn, w, h);
    RowChannels row(w);
    auto srcRow = [&](int y) { return reinterpret_cast<const quint32*>(src.constScanLine(std::clamp(y, 0, h - 1))); };

    if (k.gain == 0.0f) {
        for (int y = y0; y < y1; ++y) {
            loadRow(k, srcRow(y), w, row);
            storeRow(k, row, nullptr, w, sink.rowBuffer(y));
            sink.commitRow(y, y + 1 == y1);
        }
        return;
    }

    const int rad = k.radius;
    const int window = 2 * rad + 1;
    std::vector<float> ring(size_t(window) * size_t(w)); // horizontally blurred luminance rows
    std::vector<float> padded(size_t(w + 2 * rad));
    std::vector<float> detail(static_cast<size_t>(w));
    RowChannels scratch(w);
    auto ringRow = [&](int y) { return ring.data() + size_t(((y % window) + window) % window) * size_t(w); };

    for (int y = y0 - rad; y < y0 + rad; ++y) {
        loadRow(k, srcRow(y), w, scratch);
        blurRowH(k, scratch.y.data(), w, padded.data(), ringRow(y));
    }
    const float* taps = k.taps.constData();
    for (int y = y0; y < y1; ++y) {
        loadRow(k, srcRow(y + rad), w, scratch);
        blurRowH(k, scratch.y.data(), w, padded.data(), ringRow(y + rad));
        loadRow(k, srcRow(y), w, row);
        const float* centre = ringRow(y);
        float* __restrict d = detail.data();
        for (int x = 0; x < w; ++x)
            d[x] = taps[0] * centre[x];
        for (int t = 1; t <= rad; ++t) {
            const float* __restrict up = ringRow(y - t);
            const float* __restrict down = ringRow(y + t);
            const float tap = taps[t];
            for (int x = 0; x < w; ++x)
                d[x] += tap * (up[x] + down[x]);
        }
        const float* __restrict luma = row.y.data();
        for (int x = 0; x < w; ++x)
            d[x] = k.gain * (luma[x] - d[x]);
        storeRow(k, row, d, w, sink.rowBuffer(y));
        sink.commitRow(y, y + 1 == y1);
    }
}

} // namespace

QPoint Dihedral::map(int x, int y, int w, int h) const
{
    const int x1 = flipH ? w - 1 - x : x;
    const int y1 = flipV ? h - 1 - y : y;
    switch (((quarterTurns % 4) + 4) % 4) {
    case 1: return {y1, w - 1 - x1};
    case 2: return {w - 1 - x1, h - 1 - y1};
    case 3: return {h - 1 - y1, x1};
    default: return {x1, y1};
    }
}

void exposureTable(double ev, float table[256])
{
    const double gain = std::exp2(ev);
    for (int code = 0; code < 256; ++code)
        table[code] = ev == 0 ? float(code / 255.0) : float(srgbEncode(srgbDecode(code / 255.0) * gain));
}

QList<float> gaussianTaps(double sigma)
{
    // 13 taps at σ 1.69, as the sharpening filter uses; the reach scales with σ.
    const int radius = std::max(0, int(std::lround(sigma * 6.0 / 1.69)));
    QList<double> raw;
    double sum = 0;
    for (int i = 0; i <= radius; ++i) {
        const double v = std::exp(-double(i * i) / (2.0 * sigma * sigma));
        raw.append(v);
        sum += i == 0 ? v : 2 * v;
    }
    QList<float> taps;
    for (double v : raw)
        taps.append(float(v / sum));
    return taps;
}

QImage colorAndTurn(const QImage& source, const AdjustmentState& adjustment, double sharpenSigma, Dihedral turn)
{
    const Kernel kernel = makeKernel(adjustment, sharpenSigma);
    const bool colourIdentity = adjustment.exposure == 0 && kernel.k1 == 1.0f && kernel.k2 == 0.0f
                                && kernel.k3 == 0.0f && kernel.gain == 0.0f;
    if (colourIdentity && turn.isIdentity())
        return source;
    QImage src = source.format() == QImage::Format_ARGB32_Premultiplied
                     ? source
                     : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width();
    const int h = src.height();
    QImage dst(turn.transposes() ? QSize(h, w) : QSize(w, h), QImage::Format_ARGB32_Premultiplied);
    if (dst.isNull())
        return {};
    dst.setDotsPerMeterX(src.dotsPerMeterX());
    dst.setDotsPerMeterY(src.dotsPerMeterY());
    uchar* bits = dst.bits(); // detach once, before the threads share the buffer
    const qsizetype stride = dst.bytesPerLine();
    parallelBands(h, 64, [&](int y0, int y1) { processBand(kernel, src, bits, stride, turn, y0, y1); });
    return dst;
}

} // namespace lumora

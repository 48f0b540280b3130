#include "pipeline/ColorPass.h"

#include "base/Parallel.h"
#include "pipeline/Raster.h"
#include "pipeline/VectorClones.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define LUMORA_AVX2_KERNELS 1
#include <immintrin.h>
#endif

namespace lumora {

namespace {

std::atomic<bool> g_kernelsAllowed{true};

/// Destinations larger than the processor's last-level cache are written past it.
constexpr qsizetype kStreamedFrom = qsizetype(32) << 20;

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
    bool identity = false; ///< no tonal change at all
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

/// Exposure-mapped, un-premultiplied channels of one source row, plus scratch for the output.
/// The luminance has room for `pad` more values on each side, where the blur repeats its edges.
struct RowChannels {
    std::vector<float> r, g, b;
    std::vector<float> paddedY;
    float* y;
    std::vector<quint8> a;
    std::vector<qint32> outR, outG, outB;
    bool opaque = true;
    RowChannels(int width, int pad)
        : r(size_t(width)), g(size_t(width)), b(size_t(width)), paddedY(size_t(width) + 2 * size_t(pad)),
          y(paddedY.data() + pad), a(size_t(width)), outR(size_t(width)), outG(size_t(width)), outB(size_t(width))
    {
    }
    RowChannels(const RowChannels&) = delete;
    RowChannels& operator=(const RowChannels&) = delete;
};

#ifdef LUMORA_AVX2_KERNELS
/// Whether the AVX2 kernels below are to be used: the processor has AVX2 and FMA, and they are
/// allowed (allowColorPassKernels).
bool kernelsOn()
{
    static const bool supported = [] {
        __builtin_cpu_init(); // may run before the constructors that would call it
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return supported && g_kernelsAllowed.load(std::memory_order_relaxed);
}

/// The table lookups of an opaque row, eight pixels at a time with AVX2 gathers (the vectoriser
/// builds each vector from eight scalar loads instead). The luminance is rounded as the compiler
/// contracts the scalar expression on processors with FMA (wg·g, then wr·r fused onto it, then
/// wb·b), so the pixels are bit-identical to that loop's. Returns how many pixels it did: a
/// multiple of eight; the caller does the rest. `all` gets the AND of the pixels it read.
__attribute__((target("avx2,fma"))) int loadOpaqueGathered(const float* lut, const quint32* __restrict src, int width,
                                                           float* __restrict r, float* __restrict g,
                                                           float* __restrict b, float* __restrict y, quint32& all)
{
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256 wr = _mm256_set1_ps(kWr), wg = _mm256_set1_ps(kWg), wb = _mm256_set1_ps(kWb);
    __m256i and8 = _mm256_set1_epi32(-1);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x));
        and8 = _mm256_and_si256(and8, p);
        const __m256 fr = _mm256_i32gather_ps(lut, _mm256_and_si256(_mm256_srli_epi32(p, 16), low), 4);
        const __m256 fg = _mm256_i32gather_ps(lut, _mm256_and_si256(_mm256_srli_epi32(p, 8), low), 4);
        const __m256 fb = _mm256_i32gather_ps(lut, _mm256_and_si256(p, low), 4);
        _mm256_storeu_ps(r + x, fr);
        _mm256_storeu_ps(g + x, fg);
        _mm256_storeu_ps(b + x, fb);
        _mm256_storeu_ps(y + x, _mm256_fmadd_ps(wb, fb, _mm256_fmadd_ps(wr, fr, _mm256_mul_ps(wg, fg))));
    }
    alignas(32) quint32 lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), and8);
    for (const quint32 lane : lanes)
        all &= lane;
    return x;
}
#endif

/// The opaque part of loadRow from pixel `from` on; returns the AND of the pixels it read.
LUMORA_VECTOR_CLONES
quint32 loadOpaque(const float* lut, const quint32* __restrict src, int from, int width, float* __restrict r,
                   float* __restrict g, float* __restrict b, float* __restrict y)
{
    quint32 all = 0xFFFFFFFFu;
#pragma omp simd reduction(& : all)
    for (int x = from; x < width; ++x) {
        const quint32 p = src[x];
        all &= p;
        const float fr = lut[(p >> 16) & 0xFF], fg = lut[(p >> 8) & 0xFF], fb = lut[p & 0xFF];
        r[x] = fr;
        g[x] = fg;
        b[x] = fb;
        y[x] = kWr * fr + kWg * fg + kWb * fb;
    }
    return all;
}

LUMORA_VECTOR_CLONES
void loadRow(const Kernel& k, const quint32* __restrict src, int width, RowChannels& out)
{
    float* __restrict r = out.r.data();
    float* __restrict g = out.g.data();
    float* __restrict b = out.b.data();
    float* __restrict y = out.y;
    const float* lut = k.lut;
    // Loaded as opaque, which photos almost always are, and loaded again when it was not.
    quint32 all = 0xFFFFFFFFu;
    int done = 0;
#ifdef LUMORA_AVX2_KERNELS
    if (kernelsOn())
        done = loadOpaqueGathered(lut, src, width, r, g, b, y, all);
#endif
    all &= loadOpaque(lut, src, done, width, r, g, b, y);
    out.opaque = (all >> 24) == 0xFF;
    if (out.opaque)
        return;
    quint8* __restrict alpha = out.a.data();
    for (int x = 0; x < width; ++x) {
        const quint32 p = src[x];
        const quint32 a = p >> 24;
        quint32 cr = (p >> 16) & 0xFF, cg = (p >> 8) & 0xFF, cb = p & 0xFF;
        if (a == 0) {
            cr = cg = cb = 0;
        } else if (a != 255) { // un-premultiply to the nearest code
            cr = std::min<quint32>(255, (cr * 255 + a / 2) / a);
            cg = std::min<quint32>(255, (cg * 255 + a / 2) / a);
            cb = std::min<quint32>(255, (cb * 255 + a / 2) / a);
        }
        r[x] = lut[cr];
        g[x] = lut[cg];
        b[x] = lut[cb];
        alpha[x] = quint8(a);
    }
    for (int x = 0; x < width; ++x)
        y[x] = kWr * r[x] + kWg * g[x] + kWb * b[x];
}

/// Writes the final pixels of one row into `dst` (width pixels, premultiplied). `detail` is
/// the sharpening term per pixel, or null.
LUMORA_VECTOR_CLONES
void storeRow(const Kernel& k, RowChannels& in, const float* __restrict detail, int width, quint32* __restrict dst)
{
    const float* __restrict r = in.r.data();
    const float* __restrict g = in.g.data();
    const float* __restrict b = in.b.data();
    const float* __restrict y = in.y;
    qint32* __restrict outR = in.outR.data();
    qint32* __restrict outG = in.outG.data();
    qint32* __restrict outB = in.outB.data();
    const float k1 = k.k1, k2 = k.k2, k3 = k.k3;
    // Clamp once at the end, round half up to the 8-bit code. Written as plain comparisons
    // (NaN-exact maxps/minps) so the loops vectorise.
    auto code = [](float v) {
        v = v > 0.0f ? v : 0.0f;
        v = v < 1.0f ? v : 1.0f;
        return qint32(v * 255.0f + 0.5f);
    };
    auto pack = [&](int x, float base) {
        const quint32 cr = quint32(code(k1 * r[x] + base));
        const quint32 cg = quint32(code(k1 * g[x] + base));
        const quint32 cb = quint32(code(k1 * b[x] + base));
        dst[x] = 0xFF000000u | (cr << 16) | (cg << 8) | cb;
    };
    if (in.opaque && detail) {
        // One pass straight to packed pixels: the common case of an opaque photo.
        for (int x = 0; x < width; ++x)
            pack(x, k2 * y[x] + k3 + detail[x]);
        return;
    }
    if (in.opaque) {
        for (int x = 0; x < width; ++x)
            pack(x, k2 * y[x] + k3);
        return;
    }
    for (int x = 0; x < width; ++x) {
        const float base = k2 * y[x] + k3 + (detail ? detail[x] : 0.0f);
        outR[x] = code(k1 * r[x] + base);
        outG[x] = code(k1 * g[x] + base);
        outB[x] = code(k1 * b[x] + base);
    }
    const quint8* alpha = in.a.data();
    for (int x = 0; x < width; ++x) {
        const quint32 a = alpha[x];
        const quint32 cr = (quint32(outR[x]) * a + 127) / 255;
        const quint32 cg = (quint32(outG[x]) * a + 127) / 255;
        const quint32 cb = (quint32(outB[x]) * a + 127) / 255;
        dst[x] = (a << 24) | (cr << 16) | (cg << 8) | cb;
    }
}

/// Horizontal Gaussian of one luminance row, edges repeated: `y` has room for radius more
/// values on both sides, which are filled with its edges. The common full-resolution radius is
/// unrolled at compile time, so every output is one pass of loads and fused multiply-adds.
template <int Rad>
void blurRowHFixed(const float* __restrict taps, const float* __restrict c, int width, float* __restrict out)
{
    for (int x = 0; x < width; ++x) {
        float sum = taps[0] * c[x];
        for (int t = 1; t <= Rad; ++t)
            sum += taps[t] * (c[x - t] + c[x + t]);
        out[x] = sum;
    }
}

LUMORA_VECTOR_CLONES
void blurRowH(const Kernel& k, float* y, int width, float* __restrict out)
{
    const int rad = k.radius;
    for (int i = 1; i <= rad; ++i) {
        y[-i] = y[0];
        y[width - 1 + i] = y[width - 1];
    }
    const float* taps = k.taps.constData();
    const float* __restrict c = y;
    if (rad == 6) {
        blurRowHFixed<6>(taps, c, width, out);
        return;
    }
    const float centre = taps[0];
    for (int x = 0; x < width; ++x)
        out[x] = centre * c[x];
    for (int t = 1; t <= rad; ++t) {
        const float tap = taps[t];
        const float* __restrict left = c - t;
        const float* __restrict right = c + t;
        for (int x = 0; x < width; ++x)
            out[x] += tap * (left[x] + right[x]);
    }
}

/// Rows [firstRow, firstRow + rowCount) of the turned raster, held at `bits` (`stride` bytes apart).
struct RowsOut {
    uchar* bits = nullptr;
    qsizetype stride = 0;
    int firstRow = 0;
    int rowCount = 0;
    /// Turned runs are written past the cache: for a destination larger than the cache, whose
    /// lines would only be read in from memory to be overwritten and pushed out again unread.
    /// Rows written in place are not: their plain stores in order measured faster.
    bool streamed = false;
};

/// Places computed rows into the destination according to the turn. With a transposing turn
/// only the source columns whose destination rows are held are written.
class RowSink {
public:
    RowSink(const RowsOut& out, Dihedral turn, int srcWidth, int srcHeight)
        : m_bits(out.bits), m_stride(out.stride), m_firstRow(out.firstRow), m_streamed(out.streamed), m_turn(turn),
          m_w(srcWidth), m_h(srcHeight)
    {
        const QPoint o = turn.map(0, 0, m_w, m_h);
        m_origin = o;
        m_dx = turn.map(1, 0, m_w, m_h) - o; // step of the destination per source x
        m_dy = turn.map(0, 1, m_w, m_h) - o; // … per source y
        if (turn.transposes()) {
            m_blockCap = std::clamp(int(kBlockBytes / (4 * qsizetype(m_w))) / 16 * 16, 16, 64);
            m_block.resize(size_t(m_blockCap) * size_t(m_w));
            // Destination row origin.y + dx.y·x must lie in [firstRow, firstRow + rowCount).
            const int a = m_dx.y() > 0 ? out.firstRow - o.y() : o.y() - out.firstRow - out.rowCount + 1;
            m_xFrom = std::clamp(a, 0, m_w);
            m_xTo = std::clamp(a + out.rowCount, m_xFrom, m_w);
        }
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
        if (m_blockRows == m_blockCap || lastOfBand)
            flushBlock();
    }

private:
    /// Source rows gathered before they are written out as runs: at least 16, so that each run
    /// is a whole cache line of the destination; up to 64 while the block stays within this many
    /// bytes of the core's cache. A block of a 24 MP photo's rows is 16 (384 KB; 32 measured 3 %
    /// slower over such a photo); an export piece's few hundred columns take 64, whose runs of
    /// four lines each were written 7-12 % faster than single lines.
    static constexpr qsizetype kBlockBytes = qsizetype(96) << 10;
    int m_blockCap = 16; ///< rows of a block

    quint32* destRow(int y)
    {
        const int dy = m_origin.y() + m_dy.y() * y - m_firstRow; // non-transposing: destination row from source row
        return reinterpret_cast<quint32*>(m_bits + m_stride * dy);
    }

    void flushBlock()
    {
        // Source pixel (x, y) lands at column origin.x + dy.x·y, row origin.y + dx.y·x: each
        // source column becomes a run of m_blockRows pixels in one destination row.
        const int step = m_dy.x(); // +1 or −1 along the destination row
        const int col0 = m_origin.x() + step * m_blockStart;
        const int row0 = m_origin.y() - m_firstRow;
        int x = m_xFrom;
#ifdef __SSE2__
        // 4 × 4 tiles through registers: four source rows of four pixels become four runs.
        const int fullRows = m_blockRows / 4 * 4;
        for (; x + 4 <= m_xTo; x += 4) {
            quint32* dest[4];
            for (int k = 0; k < 4; ++k)
                dest[k] = reinterpret_cast<quint32*>(m_bits + m_stride * (row0 + m_dx.y() * (x + k)));
            for (int i = 0; i < fullRows; i += 4) {
                const quint32* src = m_block.data() + size_t(i) * size_t(m_w) + size_t(x);
                __m128 r0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)));
                __m128 r1 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + m_w)));
                __m128 r2 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * m_w)));
                __m128 r3 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * m_w)));
                _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
                const __m128 columns[4] = {r0, r1, r2, r3};
                for (int k = 0; k < 4; ++k) {
                    __m128i run = _mm_castps_si128(columns[k]);
                    int col = col0 + step * i;
                    if (step < 0) { // the run goes right to left: reverse it, store from its left end
                        run = _mm_shuffle_epi32(run, _MM_SHUFFLE(0, 1, 2, 3));
                        col -= 3;
                    }
                    auto* at = reinterpret_cast<__m128i*>(dest[k] + col);
                    if (m_streamed && (reinterpret_cast<quintptr>(at) & 15) == 0)
                        _mm_stream_si128(at, run);
                    else
                        _mm_storeu_si128(at, run);
                }
            }
            for (int i = fullRows; i < m_blockRows; ++i)
                for (int k = 0; k < 4; ++k)
                    dest[k][col0 + step * i] = m_block[size_t(i) * size_t(m_w) + size_t(x + k)];
        }
#endif
        for (; x < m_xTo; ++x) {
            quint32* dest = reinterpret_cast<quint32*>(m_bits + m_stride * (row0 + m_dx.y() * x));
            for (int i = 0; i < m_blockRows; ++i)
                dest[col0 + step * i] = m_block[size_t(i) * size_t(m_w) + size_t(x)];
        }
        m_blockRows = 0;
#ifdef __SSE2__
        if (m_streamed)
            _mm_sfence(); // the streamed runs are in memory before anyone is told the rows are done
#endif
    }

    uchar* m_bits;
    qsizetype m_stride;
    int m_firstRow;
    bool m_streamed;
    Dihedral m_turn;
    int m_w, m_h;
    int m_xFrom = 0, m_xTo = 0; ///< source columns written (transposing turns)
    QPoint m_origin, m_dx, m_dy;
    std::vector<quint32> m_scratch;
    std::vector<quint32> m_block;
    int m_blockStart = 0;
    int m_blockRows = 0;
};

/// Sharpening detail of the centre row: gain × (Y − Gaussian(Y)), with the vertical pass over
/// the horizontally blurred rows kept in a ring of `window` rows.
template <int Rad>
void verticalDetailFixed(const float* __restrict taps, const float* const* rows, int w, float gain,
                         const float* __restrict luma, float* __restrict detail)
{
    // rows[0] is the centre, rows[2t − 1] and rows[2t] the rows t above and below it.
    for (int x = 0; x < w; ++x) {
        float sum = taps[0] * rows[0][x];
        for (int t = 1; t <= Rad; ++t)
            sum += taps[t] * (rows[2 * t - 1][x] + rows[2 * t][x]);
        detail[x] = gain * (luma[x] - sum);
    }
}

LUMORA_VECTOR_CLONES
void verticalDetail(const Kernel& k, const float* ring, size_t centreSlot, int window, int w,
                    const float* __restrict luma, float* __restrict detail)
{
    const int rad = k.radius;
    const float* taps = k.taps.constData();
    auto rowAt = [&](int offset) { return ring + size_t((int(centreSlot) + offset + window) % window) * size_t(w); };
    if (rad == 6) {
        const float* rows[13];
        rows[0] = rowAt(0);
        for (int t = 1; t <= 6; ++t) {
            rows[2 * t - 1] = rowAt(-t);
            rows[2 * t] = rowAt(t);
        }
        verticalDetailFixed<6>(taps, rows, w, k.gain, luma, detail);
        return;
    }
    const float* __restrict centre = rowAt(0);
    for (int x = 0; x < w; ++x)
        detail[x] = taps[0] * centre[x];
    for (int t = 1; t <= rad; ++t) {
        const float* __restrict up = rowAt(-t);
        const float* __restrict down = rowAt(t);
        const float tap = taps[t];
        for (int x = 0; x < w; ++x)
            detail[x] += tap * (up[x] + down[x]);
    }
    const float gain = k.gain;
    for (int x = 0; x < w; ++x)
        detail[x] = gain * (luma[x] - detail[x]);
}

#ifdef LUMORA_AVX2_KERNELS
/// verticalDetailFixed<6> and the opaque storeRow in one pass, eight pixels at a time, without
/// the detail row in between. Every product is fused onto the sum after it as the compiler
/// contracts those loops on processors with FMA, so the pixels are bit-identical to theirs.
/// The pixels after the last group of eight are done one at a time, the same way.
__attribute__((target("avx2,fma"))) void detailAndStoreOpaque6(const Kernel& k, const float* const* rows,
                                                               const RowChannels& in, int w, quint32* __restrict dst)
{
    const float* taps = k.taps.constData();
    const __m256 t0 = _mm256_set1_ps(taps[0]), t1 = _mm256_set1_ps(taps[1]), t2 = _mm256_set1_ps(taps[2]),
                 t3 = _mm256_set1_ps(taps[3]), t4 = _mm256_set1_ps(taps[4]), t5 = _mm256_set1_ps(taps[5]),
                 t6 = _mm256_set1_ps(taps[6]);
    const __m256 gain = _mm256_set1_ps(k.gain), k1 = _mm256_set1_ps(k.k1), k2 = _mm256_set1_ps(k.k2),
                 k3 = _mm256_set1_ps(k.k3);
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f), scale = _mm256_set1_ps(255.0f),
                 half = _mm256_set1_ps(0.5f);
    const __m256i opaque = _mm256_set1_epi32(int(0xFF000000u));
#define LUMORA_AT(row) _mm256_loadu_ps((row) + x)
// The code of a channel: clamped as v > 0 ? v : 0, then v < 1 ? v : 1, rounded half up.
#define LUMORA_CODE(channel, base)                                                                                     \
    _mm256_cvttps_epi32(                                                                                               \
        _mm256_fmadd_ps(_mm256_min_ps(_mm256_max_ps(_mm256_fmadd_ps(k1, (channel), (base)), zero), one), scale, half))
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        // The centre's product is fused onto the first pair's, as the compiler does.
        __m256 sum = _mm256_fmadd_ps(t0, LUMORA_AT(rows[0]),
                                     _mm256_mul_ps(t1, _mm256_add_ps(LUMORA_AT(rows[1]), LUMORA_AT(rows[2]))));
        sum = _mm256_fmadd_ps(t2, _mm256_add_ps(LUMORA_AT(rows[3]), LUMORA_AT(rows[4])), sum);
        sum = _mm256_fmadd_ps(t3, _mm256_add_ps(LUMORA_AT(rows[5]), LUMORA_AT(rows[6])), sum);
        sum = _mm256_fmadd_ps(t4, _mm256_add_ps(LUMORA_AT(rows[7]), LUMORA_AT(rows[8])), sum);
        sum = _mm256_fmadd_ps(t5, _mm256_add_ps(LUMORA_AT(rows[9]), LUMORA_AT(rows[10])), sum);
        sum = _mm256_fmadd_ps(t6, _mm256_add_ps(LUMORA_AT(rows[11]), LUMORA_AT(rows[12])), sum);
        const __m256 luma = LUMORA_AT(in.y);
        __m256 detail = _mm256_mul_ps(gain, _mm256_sub_ps(luma, sum));
        __asm__("" : "+x"(detail)); // a product of its own, as the separate pass stores it: not fused below
        const __m256 base = _mm256_add_ps(_mm256_fmadd_ps(k2, luma, k3), detail);
        const __m256i r = LUMORA_CODE(LUMORA_AT(in.r.data()), base);
        const __m256i g = LUMORA_CODE(LUMORA_AT(in.g.data()), base);
        const __m256i b = LUMORA_CODE(LUMORA_AT(in.b.data()), base);
        const __m256i packed = _mm256_or_si256(_mm256_or_si256(opaque, _mm256_slli_epi32(r, 16)),
                                               _mm256_or_si256(_mm256_slli_epi32(g, 8), b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), packed);
    }
#undef LUMORA_AT
#undef LUMORA_CODE
    const auto scalarCode = [&](float channel, float base) {
        float v = std::fma(k.k1, channel, base);
        v = v > 0.0f ? v : 0.0f;
        v = v < 1.0f ? v : 1.0f;
        return quint32(qint32(std::fma(v, 255.0f, 0.5f)));
    };
    for (; x < w; ++x) {
        float sum = std::fma(taps[0], rows[0][x], taps[1] * (rows[1][x] + rows[2][x]));
        for (int t = 2; t <= 6; ++t)
            sum = std::fma(taps[t], rows[2 * t - 1][x] + rows[2 * t][x], sum);
        const float luma = in.y[x];
        float detail = k.gain * (luma - sum);
        __asm__("" : "+x"(detail));
        const float base = std::fma(k.k2, luma, k.k3) + detail;
        dst[x] = 0xFF000000u | (scalarCode(in.r[size_t(x)], base) << 16) | (scalarCode(in.g[size_t(x)], base) << 8)
                 | scalarCode(in.b[size_t(x)], base);
    }
}
#endif

/// A view of the source: `width` pixels from column `x0` of each row in `rows`.
struct SourceView {
    const SourceRows& rows;
    int x0 = 0;
    int width = 0;
    [[nodiscard]] int height() const { return int(rows.rows.size()); }
    [[nodiscard]] const quint32* row(int y) const
    {
        return reinterpret_cast<const quint32*>(rows.rows[size_t(std::clamp(y, 0, height() - 1))]) + x0;
    }
};

void processBand(const Kernel& k, const SourceView& src, const RowsOut& out, Dihedral turn, int y0, int y1)
{
    const int w = src.width;
    const int h = src.height();
    RowSink sink(out, turn, w, h);
    auto srcRow = [&](int y) { return src.row(y); };

    if (k.identity) { // a pure permutation: pixels move unchanged, translucent ones included
        for (int y = y0; y < y1; ++y) {
            std::memcpy(sink.rowBuffer(y), srcRow(y), sizeof(quint32) * size_t(w));
            sink.commitRow(y, y + 1 == y1);
        }
        return;
    }
    if (k.gain == 0.0f) {
        RowChannels row(w, 0);
        for (int y = y0; y < y1; ++y) {
            loadRow(k, srcRow(y), w, row);
            storeRow(k, row, nullptr, w, sink.rowBuffer(y));
            sink.commitRow(y, y + 1 == y1);
        }
        return;
    }

    const int rad = k.radius;
    const int window = 2 * rad + 1;
    // Rows y − rad … y + rad stay loaded: their channels for the output, their horizontally
    // blurred luminance for the vertical pass. Each source row is loaded once.
    std::vector<std::unique_ptr<RowChannels>> rows;
    for (int i = 0; i < window; ++i)
        rows.push_back(std::make_unique<RowChannels>(w, rad));
    std::vector<float> blurred(size_t(window) * size_t(w));
    std::vector<float> detail(static_cast<size_t>(w));
    auto slot = [&](int y) { return size_t(((y % window) + window) % window); };
    auto load = [&](int y) {
        RowChannels& channels = *rows[slot(y)];
        loadRow(k, srcRow(y), w, channels);
        blurRowH(k, channels.y, w, blurred.data() + slot(y) * size_t(w));
    };

    for (int y = y0 - rad; y < y0 + rad; ++y)
        load(y);
#ifdef LUMORA_AVX2_KERNELS
    const bool fused = rad == 6 && kernelsOn();
#else
    const bool fused = false;
#endif
    for (int y = y0; y < y1; ++y) {
        load(y + rad);
        RowChannels& centre = *rows[slot(y)];
        quint32* dest = sink.rowBuffer(y);
#ifdef LUMORA_AVX2_KERNELS
        if (fused && centre.opaque) {
            // rows[0] is the centre, rows[2t − 1] and rows[2t] the rows t above and below it.
            const float* ring[13];
            ring[0] = blurred.data() + slot(y) * size_t(w);
            for (int t = 1; t <= 6; ++t) {
                ring[2 * t - 1] = blurred.data() + slot(y - t) * size_t(w);
                ring[2 * t] = blurred.data() + slot(y + t) * size_t(w);
            }
            detailAndStoreOpaque6(k, ring, centre, w, dest);
            sink.commitRow(y, y + 1 == y1);
            continue;
        }
#endif
        verticalDetail(k, blurred.data(), slot(y), window, w, centre.y, detail.data());
        storeRow(k, centre, detail.data(), w, dest);
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

void allowColorPassKernels(bool allowed)
{
    g_kernelsAllowed.store(allowed, std::memory_order_relaxed);
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

namespace {

Kernel kernelFor(const AdjustmentState& adjustment, double sharpenSigma)
{
    Kernel kernel = makeKernel(adjustment, sharpenSigma);
    kernel.identity =
        adjustment.exposure == 0 && kernel.k1 == 1.0f && kernel.k2 == 0.0f && kernel.k3 == 0.0f && kernel.gain == 0.0f;
    return kernel;
}

/// Writes rows [out.firstRow, out.firstRow + out.rowCount) of the turned result of `src`
/// (premultiplied ARGB32) from all cores. A transposing turn makes these rows from a range of
/// source columns: the pass reads those columns and, for the sharpening, `radius` more on each
/// side (a view of the source, whose own edges are the photo's only where the photo's are).
void turnedRows(const Kernel& kernel, const SourceRows& src, Dihedral turn, const RowsOut& out)
{
    const int w = src.width, h = int(src.rows.size());
    if (!turn.transposes()) {
        const QRect rows = sourceOfRows(QSize(w, h), turn, out.firstRow, out.rowCount, 0);
        const int y0 = rows.top(), y1 = rows.top() + rows.height();
        const SourceView all{src, 0, w};
        parallelBands(y1 - y0, 64, [&](int b0, int b1) { processBand(kernel, all, out, turn, y0 + b0, y0 + b1); });
        return;
    }
    const QRect columns = sourceOfRows(QSize(w, h), turn, out.firstRow, out.rowCount, kernel.radius);
    const int x0 = columns.left();
    if (columns.width() <= 0)
        return;
    const SourceView view{src, x0, columns.width()};
    // The view's turned rows are the whole raster's shifted by the turn of the view's origin.
    const int shift = turn.map(x0, 0, w, h).y() - turn.map(0, 0, view.width, h).y();
    const RowsOut local{out.bits, out.stride, out.firstRow - shift, out.rowCount, out.streamed};
    parallelBands(h, 64, [&](int b0, int b1) { processBand(kernel, view, local, turn, b0, b1); });
}

SourceRows rowsOf(const QImage& image)
{
    SourceRows rows{std::vector<const uchar*>(size_t(image.height())), image.width()};
    for (int y = 0; y < image.height(); ++y)
        rows.rows[size_t(y)] = image.constScanLine(y);
    return rows;
}

/// A raster for `size` rows of the result: `reuse` when it fits and nothing else shares it.
QImage rowsRaster(QSize size, QImage reuse)
{
    return reuse.size() == size && reuse.format() == QImage::Format_ARGB32_Premultiplied && reuse.isDetached()
               ? std::move(reuse)
               : newRaster(size);
}

} // namespace

QImage colorAndTurnRows(const QImage& source, const AdjustmentState& adjustment, double sharpenSigma, Dihedral turn,
                        int firstRow, int rowCount, QImage reuse)
{
    const QSize turned = turn.transposes() ? source.size().transposed() : source.size();
    firstRow = std::clamp(firstRow, 0, turned.height());
    rowCount = std::clamp(rowCount, 0, turned.height() - firstRow);
    if (source.isNull() || rowCount == 0)
        return {};
    const Kernel kernel = kernelFor(adjustment, sharpenSigma);
    if (kernel.identity && turn.isIdentity())
        return source.copy(0, firstRow, source.width(), rowCount).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage src = source.format() == QImage::Format_ARGB32_Premultiplied
                           ? source
                           : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Every pixel of the result is written below (a new raster holds whatever was there before, too).
    QImage dst = rowsRaster(QSize(turned.width(), rowCount), std::move(reuse));
    if (dst.isNull())
        return {};
    dst.setDotsPerMeterX(src.dotsPerMeterX());
    dst.setDotsPerMeterY(src.dotsPerMeterY());
    turnedRows(kernel, rowsOf(src), turn, RowsOut{dst.bits(), dst.bytesPerLine(), firstRow, rowCount});
    return dst;
}

QImage colorAndTurnRows(const SourceRows& piece, QRect area, QSize sourceSize, const AdjustmentState& adjustment,
                        double sharpenSigma, Dihedral turn, int firstRow, int rowCount, QImage reuse)
{
    const QSize turned = turn.transposes() ? sourceSize.transposed() : sourceSize;
    firstRow = std::clamp(firstRow, 0, turned.height());
    rowCount = std::clamp(rowCount, 0, turned.height() - firstRow);
    if (area.isEmpty() || rowCount == 0 || int(piece.rows.size()) != area.height() || piece.width != area.width())
        return {};
    QImage dst = rowsRaster(QSize(turned.width(), rowCount), std::move(reuse));
    if (dst.isNull())
        return {};
    // The piece's turned rows are the whole source's shifted by the turn of the piece's origin.
    const int shift = turn.map(area.x(), area.y(), sourceSize.width(), sourceSize.height()).y()
                      - turn.map(0, 0, area.width(), area.height()).y();
    turnedRows(kernelFor(adjustment, sharpenSigma), piece, turn,
               RowsOut{dst.bits(), dst.bytesPerLine(), firstRow - shift, rowCount});
    return dst;
}

QRect sourceOfRows(QSize sourceSize, Dihedral turn, int firstRow, int rowCount, int reach)
{
    const int w = sourceSize.width(), h = sourceSize.height();
    const QPoint origin = turn.map(0, 0, w, h);
    // Source column (or, without a transposing turn, row) i lands on row origin.y + step·i.
    const int step = (turn.transposes() ? turn.map(1, 0, w, h) : turn.map(0, 1, w, h)).y() - origin.y();
    const int a = step > 0 ? firstRow - origin.y() : origin.y() - firstRow - rowCount + 1;
    const int length = turn.transposes() ? w : h;
    const int from = std::clamp(a - reach, 0, length), to = std::clamp(a + rowCount + reach, from, length);
    return turn.transposes() ? QRect(from, 0, to - from, h) : QRect(0, from, w, to - from);
}

int colorPassReach(const AdjustmentState& adjustment, double sharpenSigma)
{
    return kernelFor(adjustment, sharpenSigma).radius;
}

QImage colorAndTurn(const QImage& source, const AdjustmentState& adjustment, double sharpenSigma, Dihedral turn)
{
    const Kernel kernel = kernelFor(adjustment, sharpenSigma);
    if (kernel.identity && turn.isIdentity())
        return source;
    QImage src = source.format() == QImage::Format_ARGB32_Premultiplied
                     ? source
                     : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize turned = turn.transposes() ? src.size().transposed() : src.size();
    QImage dst = newRaster(turned);
    if (dst.isNull())
        return {};
    dst.setDotsPerMeterX(src.dotsPerMeterX());
    dst.setDotsPerMeterY(src.dotsPerMeterY());
    // Bands of an export are read by the encoder right after the pass, from the cache; a whole
    // photo is far larger than the cache, so its lines are better not read in first.
    const bool streamed = dst.sizeInBytes() > kStreamedFrom;
    turnedRows(kernel, rowsOf(src), turn, RowsOut{dst.bits(), dst.bytesPerLine(), 0, turned.height(), streamed});
    return dst;
}

} // namespace lumora

#include "series/framewarp.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace vorlan {

Warp warpOf(const SimilarityTransform& toReference, QPointF shift) {
    const SimilarityTransform back = toReference.inverted();
    const double m = back.mirrored ? -1.0 : 1.0;
    Warp w;
    w.xx = back.a;
    w.xy = -back.b * m;
    w.yx = back.b;
    w.yy = back.a * m;
    w.x0 = back.tx + w.xx * shift.x() + w.xy * shift.y();
    w.y0 = back.ty + w.yx * shift.x() + w.yy * shift.y();
    return w;
}

namespace {

constexpr float Blank = NAN;

/// Catmull-Rom weights of the four samples round a point t (0..1) past the second.
inline void cubicWeights(float t, float w[4]) {
    const float t2 = t * t, t3 = t2 * t;
    w[0] = 0.5f * (-t3 + 2 * t2 - t);
    w[1] = 0.5f * (3 * t3 - 5 * t2 + 2);
    w[2] = 0.5f * (-3 * t3 + 4 * t2 + t);
    w[3] = 0.5f * (t3 - t2);
}

/// The weights at every 1/256 of a pixel: a 1/512 pixel error at most, far below what the stars'
/// centroids are known to, for no arithmetic a pixel.
constexpr int Steps = 256;
struct CubicTable {
    alignas(16) float w[Steps + 1][4];
    CubicTable() {
        for (int k = 0; k <= Steps; ++k)
            cubicWeights(float(k) / Steps, w[k]);
    }
};

/// One pixel at index coordinates (u, v) (the centre of pixel i is i), bicubic where its whole
/// neighbourhood is inside, else bilinear; NaN outside.
float samplePixel(const LinearFrame& src, double u, double v, bool cubic) {
    if (!(u >= 0 && v >= 0 && u <= src.width - 1 && v <= src.height - 1)) return Blank;
    const int i = std::min(int(u), std::max(0, src.width - 2)), j = std::min(int(v), std::max(0, src.height - 2));
    const float fu = float(u - i), fv = float(v - j);
    const float* r0 = src.row(j) + i;
    if (cubic && i >= 1 && j >= 1 && i + 2 < src.width && j + 2 < src.height) {
        float wu[4], wv[4];
        cubicWeights(fu, wu);
        cubicWeights(fv, wv);
        const float* r = r0 - src.width - 1;
        float sum = 0;
        for (int k = 0; k < 4; ++k, r += src.width)
            sum += wv[k] * (wu[0] * r[0] + wu[1] * r[1] + wu[2] * r[2] + wu[3] * r[3]);
        return sum;
    }
    const int dx = src.width > 1 ? 1 : 0;
    const float* r1 = r0 + (src.height > 1 ? src.width : 0);
    const float top = r0[0] + fu * (r0[dx] - r0[0]);
    const float bottom = r1[0] + fu * (r1[dx] - r1[0]);
    return top + fv * (bottom - top);
}

/// Narrows [first, last) to the columns x where lo <= p0 + step * x <= hi holds with a pixel
/// to spare, so that rounding in the vector loop cannot step outside.
void narrowTo(double p0, double step, double lo, double hi, int& first, int& last) {
    if (std::abs(step) < 1e-12) {
        if (!(p0 >= lo && p0 <= hi)) last = first;
        return;
    }
    double a = (lo - p0) / step, b = (hi - p0) / step;
    if (a > b) std::swap(a, b);
    first = std::max(first, int(std::ceil(std::clamp(a, -1e9, 1e9))) + 1);
    last = std::min(last, int(std::floor(std::clamp(b, -1e9, 1e9))));
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VORLAN_WARP_AVX2 1
/// The bicubic pixels of warpInside eight at a time with the fused multiply-adds of processors
/// that have them (the program itself is built for any x86-64). Returns the pixels done.
__attribute__((target("avx2,fma"))) int warpInsideAvx2(const LinearFrame& src, const Warp& w, double u0, double v0,
                                                        int count, float* out, const CubicTable& table) {
    const __m256 lane = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 du = _mm256_set1_ps(float(w.xx)), dv = _mm256_set1_ps(float(w.yx));
    const __m256 uStart = _mm256_set1_ps(float(u0)), vStart = _mm256_set1_ps(float(v0));
    const __m256 steps = _mm256_set1_ps(Steps);
    const ptrdiff_t stride = src.width;
    const float* weights = table.w[0];
    // Per pixel: where its four rows start in src (a frame held in memory has fewer than 2^31
    // pixels), and where its weights are in the table.
    alignas(32) int at0[8], wu[8], wv[8];
    const __m256i one = _mm256_set1_epi32(1), rowStep = _mm256_set1_epi32(int(stride));
    int x = 0;
    for (; x + 8 <= count; x += 8, out += 8) {
        const __m256 at = _mm256_add_ps(_mm256_set1_ps(float(x)), lane);
        const __m256 u = _mm256_fmadd_ps(at, du, uStart), v = _mm256_fmadd_ps(at, dv, vStart);
        const __m256i i = _mm256_cvttps_epi32(u), j = _mm256_cvttps_epi32(v);
        const __m256 fu = _mm256_sub_ps(u, _mm256_cvtepi32_ps(i)), fv = _mm256_sub_ps(v, _mm256_cvtepi32_ps(j));
        _mm256_store_si256(reinterpret_cast<__m256i*>(at0),
                           _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(j, one), rowStep), _mm256_sub_epi32(i, one)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(wu), _mm256_slli_epi32(_mm256_cvtps_epi32(_mm256_mul_ps(fu, steps)), 2));
        _mm256_store_si256(reinterpret_cast<__m256i*>(wv), _mm256_slli_epi32(_mm256_cvtps_epi32(_mm256_mul_ps(fv, steps)), 2));
        __m128 p[8];
        for (int k = 0; k < 8; ++k) {
            const float* r = src.pixels.data() + at0[k];
            const __m128 w4 = _mm_load_ps(weights + wv[k]);
            __m128 c = _mm_mul_ps(_mm_loadu_ps(r), _mm_permute_ps(w4, 0x00));
            c = _mm_fmadd_ps(_mm_loadu_ps(r + stride), _mm_permute_ps(w4, 0x55), c);
            c = _mm_fmadd_ps(_mm_loadu_ps(r + 2 * stride), _mm_permute_ps(w4, 0xaa), c);
            c = _mm_fmadd_ps(_mm_loadu_ps(r + 3 * stride), _mm_permute_ps(w4, 0xff), c);
            p[k] = _mm_mul_ps(c, _mm_load_ps(weights + wu[k]));
        }
        // Pixels k and k + 4 side by side, so that one transpose sums all eight.
        __m256 q[4];
        for (int k = 0; k < 4; ++k)
            q[k] = _mm256_set_m128(p[k + 4], p[k]);
        const __m256 t0 = _mm256_unpacklo_ps(q[0], q[1]), t1 = _mm256_unpackhi_ps(q[0], q[1]);
        const __m256 t2 = _mm256_unpacklo_ps(q[2], q[3]), t3 = _mm256_unpackhi_ps(q[2], q[3]);
        const __m256 s0 = _mm256_add_ps(_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xee));
        const __m256 s1 = _mm256_add_ps(_mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xee));
        _mm256_storeu_ps(out, _mm256_add_ps(s0, s1));
    }
    return x;
}

bool hasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}
#endif

#if defined(__SSE2__)
/// Pixels first .. last - 1 (a multiple of four apart) of a row whose sample points all lie
/// inside src with their neighbourhoods; u0, v0 the point of pixel first.
void warpInside(const LinearFrame& src, const Warp& w, bool cubic, double u0, double v0, int first, int last,
                float* out) {
    static const CubicTable table;
    const __m128 lane = _mm_setr_ps(0, 1, 2, 3);
    const __m128 du = _mm_set1_ps(float(w.xx)), dv = _mm_set1_ps(float(w.yx));
    const __m128 steps = _mm_set1_ps(Steps), one = _mm_set1_ps(1);
    const ptrdiff_t stride = src.width;
    alignas(16) int ii[4], jj[4], qu[4], qv[4];
#if defined(VORLAN_WARP_AVX2)
    if (cubic && hasAvx2()) {
        const int done = warpInsideAvx2(src, w, u0, v0, last - first, out, table);
        first += done;
        out += done;
        u0 += done * w.xx;
        v0 += done * w.yx;
    }
#endif
    const __m128 uStart = _mm_set1_ps(float(u0)), vStart = _mm_set1_ps(float(v0));
    for (int x = first; x < last; x += 4, out += 4) {
        const __m128 at = _mm_add_ps(_mm_set1_ps(float(x - first)), lane);
        const __m128 u = _mm_add_ps(uStart, _mm_mul_ps(at, du));
        const __m128 v = _mm_add_ps(vStart, _mm_mul_ps(at, dv));
        const __m128i i = _mm_cvttps_epi32(u), j = _mm_cvttps_epi32(v);
        const __m128 fu = _mm_sub_ps(u, _mm_cvtepi32_ps(i)), fv = _mm_sub_ps(v, _mm_cvtepi32_ps(j));
        _mm_store_si128(reinterpret_cast<__m128i*>(ii), i);
        _mm_store_si128(reinterpret_cast<__m128i*>(jj), j);
        __m128 p[4];
        if (cubic) {
            _mm_store_si128(reinterpret_cast<__m128i*>(qu), _mm_cvtps_epi32(_mm_mul_ps(fu, steps)));
            _mm_store_si128(reinterpret_cast<__m128i*>(qv), _mm_cvtps_epi32(_mm_mul_ps(fv, steps)));
            for (int k = 0; k < 4; ++k) {
                const float* r = src.pixels.data() + (jj[k] - 1) * stride + ii[k] - 1;
                const __m128 wv = _mm_load_ps(table.w[qv[k]]);
                __m128 c = _mm_mul_ps(_mm_loadu_ps(r), _mm_shuffle_ps(wv, wv, 0x00));
                c = _mm_add_ps(c, _mm_mul_ps(_mm_loadu_ps(r + stride), _mm_shuffle_ps(wv, wv, 0x55)));
                c = _mm_add_ps(c, _mm_mul_ps(_mm_loadu_ps(r + 2 * stride), _mm_shuffle_ps(wv, wv, 0xaa)));
                c = _mm_add_ps(c, _mm_mul_ps(_mm_loadu_ps(r + 3 * stride), _mm_shuffle_ps(wv, wv, 0xff)));
                p[k] = _mm_mul_ps(c, _mm_load_ps(table.w[qu[k]]));
            }
        } else {
            // Each pixel's four weights, (1 - fu)(1 - fv), fu (1 - fv), (1 - fu) fv, fu fv, as a row.
            const __m128 gu = _mm_sub_ps(one, fu), gv = _mm_sub_ps(one, fv);
            __m128 w0 = _mm_mul_ps(gu, gv), w1 = _mm_mul_ps(fu, gv), w2 = _mm_mul_ps(gu, fv), w3 = _mm_mul_ps(fu, fv);
            _MM_TRANSPOSE4_PS(w0, w1, w2, w3);
            const __m128 weights[4] = {w0, w1, w2, w3};
            for (int k = 0; k < 4; ++k) {
                const float* r = src.pixels.data() + jj[k] * stride + ii[k];
                __m128 c = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(r));
                c = _mm_loadh_pi(c, reinterpret_cast<const __m64*>(r + stride));
                p[k] = _mm_mul_ps(c, weights[k]);
            }
        }
        _MM_TRANSPOSE4_PS(p[0], p[1], p[2], p[3]);
        _mm_storeu_ps(out, _mm_add_ps(_mm_add_ps(p[0], p[1]), _mm_add_ps(p[2], p[3])));
    }
}
#endif

} // namespace

void warpRow(const LinearFrame& src, const Warp& w, bool cubic, int y, int width, float* out) {
    const double Y = y + 0.5;
    // Index coordinates: the pixel centre (i + 0.5) is index i.
    const double u0 = w.xx * 0.5 + w.xy * Y + w.x0 - 0.5;
    const double v0 = w.yx * 0.5 + w.yy * Y + w.y0 - 0.5;
    // The columns whose neighbourhoods lie inside src with a hundredth of a pixel to spare go
    // four at a time; the rest, near and beyond the edges, one by one.
    const double reach = cubic ? 1 : 0, spare = 0.01;
    int first = 0, last = width;
    narrowTo(u0, w.xx, reach + spare, src.width - 1 - reach - spare, first, last);
    narrowTo(v0, w.yx, reach + spare, src.height - 1 - reach - spare, first, last);
#if defined(__SSE2__)
    last = first + std::max(0, last - first) / 4 * 4;
#else
    last = first;
#endif
    if (last <= first) first = last = width;
    for (int x = 0; x < first; ++x)
        out[x] = samplePixel(src, u0 + x * w.xx, v0 + x * w.yx, cubic);
#if defined(__SSE2__)
    if (first < last) warpInside(src, w, cubic, u0 + first * w.xx, v0 + first * w.yx, first, last, out + first);
#endif
    for (int x = last; x < width; ++x)
        out[x] = samplePixel(src, u0 + x * w.xx, v0 + x * w.yx, cubic);
}

} // namespace vorlan

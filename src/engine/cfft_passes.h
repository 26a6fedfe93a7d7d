// The complex passes and the 2-D driver of cfft2d, written once and compiled twice: for any
// processor (cfft2d.cpp) and for AVX2 (cfft2d_avx2.cpp). Everything has internal linkage, so
// the two builds never mix; every lane does the same arithmetic in the same order in both, so
// their results agree to the bit.
//
// The passes work on blocks of `lanes` independent transforms at once, stored split (real
// parts, then imaginary parts) with the lane index fastest: element j of lane b is at
// [j * lanes + b]. Every butterfly is then a short loop over the lanes that the compiler turns
// into vector instructions, for the columns of the picture (lanes = neighbouring columns) as
// for its rows (lanes = neighbouring rows, gathered into the block).
//
// Each pass is one step of a self-sorting (Stockham) decimation in frequency, as in FFTPACK:
// input cc[k][j][i] (ido fastest, then ip, then l1), output ch[j][k][i], where the radix-ip DFT
// over j is followed by the rotation e^(S 2 pi i m l1 i / n) of output m.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "engine/cfft2d.h"

namespace {

constexpr int lanes = 16;

// Scratch of the general odd pass: its DFT table and the pair sums and differences.
constexpr size_t odd_scratch_size(int ip)
{
    return 2 * (size_t)ip + 2 * (size_t)ip * lanes;
}

template <typename T>
struct Split {
    T* re;
    T* im;
};

template <typename T>
inline const T* cos_table(const CfftDimension& d)
{
    if constexpr (sizeof(T) == sizeof(float))
        return d.cos_f.data();
    else
        return d.cos_d.data();
}

template <typename T>
inline const T* sin_table(const CfftDimension& d)
{
    if constexpr (sizeof(T) == sizeof(float))
        return d.sin_f.data();
    else
        return d.sin_d.data();
}

// Stores output m of a butterfly, multiplied by the rotation (c + i ss) unless it is 1 (Rot
// false: i == 0), so that each value is written once.
template <typename T, bool Rot>
inline void put(T* yr, T* yi, int b, T r, T i, T c, T ss)
{
    if constexpr (Rot) {
        yr[b] = r * c - i * ss;
        yi[b] = r * ss + i * c;
    } else {
        yr[b] = r;
        yi[b] = i;
    }
}

// Positions of element (i, j, k) of the input and (i, k, j) of the output, in lanes.
#define IN_AT(i, j, k) ((size_t)((i) + ido * ((j) + ip * (k))) * lanes)
#define OUT_AT(i, k, j) ((size_t)((i) + ido * ((k) + l1 * (j))) * lanes)

// Runs body<Rot>(k, i) over the pass, without rotations for i == 0.
template <typename Body>
inline void each_butterfly(int ido, int l1, Body body)
{
    for (int k = 0; k < l1; k++) {
        body.template operator()<false>(k, 0);
        for (int i = 1; i < ido; i++)
            body.template operator()<true>(k, i);
    }
}

template <typename T, int S>
void pass2(int ido, int l1, Split<T> a, Split<T> y, const T* wc, const T* ws)
{
    const int ip = 2;
    each_butterfly(ido, l1, [&]<bool Rot>(int k, int i) {
        const T *a0r = a.re + IN_AT(i, 0, k), *a0i = a.im + IN_AT(i, 0, k);
        const T *a1r = a.re + IN_AT(i, 1, k), *a1i = a.im + IN_AT(i, 1, k);
        T *y0r = y.re + OUT_AT(i, k, 0), *y0i = y.im + OUT_AT(i, k, 0);
        T *y1r = y.re + OUT_AT(i, k, 1), *y1i = y.im + OUT_AT(i, k, 1);
        const T c1 = wc[i], s1 = S * ws[i];
        for (int b = 0; b < lanes; b++) {
            const T r0 = a0r[b], i0 = a0i[b], r1 = a1r[b], i1 = a1i[b];
            y0r[b] = r0 + r1;
            y0i[b] = i0 + i1;
            put<T, Rot>(y1r, y1i, b, r0 - r1, i0 - i1, c1, s1);
        }
    });
}

template <typename T, int S>
void pass3(int ido, int l1, Split<T> a, Split<T> y, const T* wc, const T* ws)
{
    const int ip = 3;
    const T half = (T)0.5, sin60 = (T)(S * 0.86602540378443864676);
    each_butterfly(ido, l1, [&]<bool Rot>(int k, int i) {
        const T *a0r = a.re + IN_AT(i, 0, k), *a0i = a.im + IN_AT(i, 0, k);
        const T *a1r = a.re + IN_AT(i, 1, k), *a1i = a.im + IN_AT(i, 1, k);
        const T *a2r = a.re + IN_AT(i, 2, k), *a2i = a.im + IN_AT(i, 2, k);
        T *y0r = y.re + OUT_AT(i, k, 0), *y0i = y.im + OUT_AT(i, k, 0);
        T *y1r = y.re + OUT_AT(i, k, 1), *y1i = y.im + OUT_AT(i, k, 1);
        T *y2r = y.re + OUT_AT(i, k, 2), *y2i = y.im + OUT_AT(i, k, 2);
        const T c1 = wc[i], s1 = S * ws[i], c2 = wc[ido + i], s2 = S * ws[ido + i];
        for (int b = 0; b < lanes; b++) {
            const T sr = a1r[b] + a2r[b], si = a1i[b] + a2i[b];
            const T tr = a0r[b] - half * sr, ti = a0i[b] - half * si;
            const T dr = sin60 * (a1r[b] - a2r[b]), di = sin60 * (a1i[b] - a2i[b]);
            y0r[b] = a0r[b] + sr;
            y0i[b] = a0i[b] + si;
            put<T, Rot>(y1r, y1i, b, tr - di, ti + dr, c1, s1);
            put<T, Rot>(y2r, y2i, b, tr + di, ti - dr, c2, s2);
        }
    });
}

template <typename T, int S>
void pass4(int ido, int l1, Split<T> a, Split<T> y, const T* wc, const T* ws)
{
    const int ip = 4;
    each_butterfly(ido, l1, [&]<bool Rot>(int k, int i) {
        const T *a0r = a.re + IN_AT(i, 0, k), *a0i = a.im + IN_AT(i, 0, k);
        const T *a1r = a.re + IN_AT(i, 1, k), *a1i = a.im + IN_AT(i, 1, k);
        const T *a2r = a.re + IN_AT(i, 2, k), *a2i = a.im + IN_AT(i, 2, k);
        const T *a3r = a.re + IN_AT(i, 3, k), *a3i = a.im + IN_AT(i, 3, k);
        T *y0r = y.re + OUT_AT(i, k, 0), *y0i = y.im + OUT_AT(i, k, 0);
        T *y1r = y.re + OUT_AT(i, k, 1), *y1i = y.im + OUT_AT(i, k, 1);
        T *y2r = y.re + OUT_AT(i, k, 2), *y2i = y.im + OUT_AT(i, k, 2);
        T *y3r = y.re + OUT_AT(i, k, 3), *y3i = y.im + OUT_AT(i, k, 3);
        const T c1 = wc[i], s1 = S * ws[i], c2 = wc[ido + i], s2 = S * ws[ido + i];
        const T c3 = wc[2 * ido + i], s3 = S * ws[2 * ido + i];
        for (int b = 0; b < lanes; b++) {
            const T t0r = a0r[b] + a2r[b], t0i = a0i[b] + a2i[b];
            const T t1r = a0r[b] - a2r[b], t1i = a0i[b] - a2i[b];
            const T t2r = a1r[b] + a3r[b], t2i = a1i[b] + a3i[b];
            const T t3r = a1r[b] - a3r[b], t3i = a1i[b] - a3i[b];
            y0r[b] = t0r + t2r;
            y0i[b] = t0i + t2i;
            put<T, Rot>(y2r, y2i, b, t0r - t2r, t0i - t2i, c2, s2);
            // y1 = t1 + S i t3, y3 = t1 - S i t3
            if constexpr (S < 0) {
                put<T, Rot>(y1r, y1i, b, t1r + t3i, t1i - t3r, c1, s1);
                put<T, Rot>(y3r, y3i, b, t1r - t3i, t1i + t3r, c3, s3);
            } else {
                put<T, Rot>(y1r, y1i, b, t1r - t3i, t1i + t3r, c1, s1);
                put<T, Rot>(y3r, y3i, b, t1r + t3i, t1i - t3r, c3, s3);
            }
        }
    });
}

template <typename T, int S>
void pass5(int ido, int l1, Split<T> a, Split<T> y, const T* wc, const T* ws)
{
    const int ip = 5;
    const T c1 = (T)0.30901699437494742410, c2 = (T)-0.80901699437494742410;
    const T s1 = (T)(S * 0.95105651629515357212), s2 = (T)(S * 0.58778525229247312917);
    each_butterfly(ido, l1, [&]<bool Rot>(int k, int i) {
        const T *a0r = a.re + IN_AT(i, 0, k), *a0i = a.im + IN_AT(i, 0, k);
        const T *a1r = a.re + IN_AT(i, 1, k), *a1i = a.im + IN_AT(i, 1, k);
        const T *a2r = a.re + IN_AT(i, 2, k), *a2i = a.im + IN_AT(i, 2, k);
        const T *a3r = a.re + IN_AT(i, 3, k), *a3i = a.im + IN_AT(i, 3, k);
        const T *a4r = a.re + IN_AT(i, 4, k), *a4i = a.im + IN_AT(i, 4, k);
        T *y0r = y.re + OUT_AT(i, k, 0), *y0i = y.im + OUT_AT(i, k, 0);
        T *y1r = y.re + OUT_AT(i, k, 1), *y1i = y.im + OUT_AT(i, k, 1);
        T *y2r = y.re + OUT_AT(i, k, 2), *y2i = y.im + OUT_AT(i, k, 2);
        T *y3r = y.re + OUT_AT(i, k, 3), *y3i = y.im + OUT_AT(i, k, 3);
        T *y4r = y.re + OUT_AT(i, k, 4), *y4i = y.im + OUT_AT(i, k, 4);
        const T w1c = wc[i], w1s = S * ws[i], w2c = wc[ido + i], w2s = S * ws[ido + i];
        const T w3c = wc[2 * ido + i], w3s = S * ws[2 * ido + i], w4c = wc[3 * ido + i], w4s = S * ws[3 * ido + i];
        for (int b = 0; b < lanes; b++) {
            const T b1r = a1r[b] + a4r[b], b1i = a1i[b] + a4i[b];
            const T b2r = a2r[b] + a3r[b], b2i = a2i[b] + a3i[b];
            const T d1r = a1r[b] - a4r[b], d1i = a1i[b] - a4i[b];
            const T d2r = a2r[b] - a3r[b], d2i = a2i[b] - a3i[b];
            const T r1r = a0r[b] + c1 * b1r + c2 * b2r, r1i = a0i[b] + c1 * b1i + c2 * b2i;
            const T r2r = a0r[b] + c2 * b1r + c1 * b2r, r2i = a0i[b] + c2 * b1i + c1 * b2i;
            const T q1r = s1 * d1r + s2 * d2r, q1i = s1 * d1i + s2 * d2i;
            const T q2r = s2 * d1r - s1 * d2r, q2i = s2 * d1i - s1 * d2i;
            y0r[b] = a0r[b] + b1r + b2r;
            y0i[b] = a0i[b] + b1i + b2i;
            put<T, Rot>(y1r, y1i, b, r1r - q1i, r1i + q1r, w1c, w1s);
            put<T, Rot>(y4r, y4i, b, r1r + q1i, r1i - q1r, w4c, w4s);
            put<T, Rot>(y2r, y2i, b, r2r - q2i, r2i + q2r, w2c, w2s);
            put<T, Rot>(y3r, y3i, b, r2r + q2i, r2i - q2r, w3c, w3s);
        }
    });
}

// Any odd radix, by pairing inputs j and ip - j as the radix-3 and -5 passes do. Sizes drawn
// from the fast-size table never reach it; other sizes are still transformed correctly.
// `odd` is scratch of odd_scratch_size(ip) values.
template <typename T, int S>
void pass_odd(int ido, int ip, int l1, Split<T> a, Split<T> y, const T* wc, const T* ws, T* odd)
{
    const int half = (ip - 1) / 2;
    T* cs = odd;
    T* sn = cs + ip;
    T* sums = sn + ip;
    T* diffs = sums + (size_t)half * 2 * lanes;
    for (int j = 0; j < ip; j++) {
        const double angle = 6.283185307179586476925 * j / ip;
        cs[j] = (T)cos(angle);
        sn[j] = (T)(S * sin(angle));
    }
    each_butterfly(ido, l1, [&]<bool Rot>(int k, int i) {
        const T *a0r = a.re + IN_AT(i, 0, k), *a0i = a.im + IN_AT(i, 0, k);
        T *y0r = y.re + OUT_AT(i, k, 0), *y0i = y.im + OUT_AT(i, k, 0);
        for (int b = 0; b < lanes; b++) {
            y0r[b] = a0r[b];
            y0i[b] = a0i[b];
        }
        for (int j = 1; j <= half; j++) {
            const T *ajr = a.re + IN_AT(i, j, k), *aji = a.im + IN_AT(i, j, k);
            const T *anr = a.re + IN_AT(i, ip - j, k), *ani = a.im + IN_AT(i, ip - j, k);
            T* s = sums + (size_t)(j - 1) * 2 * lanes;
            T* d = diffs + (size_t)(j - 1) * 2 * lanes;
            for (int b = 0; b < lanes; b++) {
                s[b] = ajr[b] + anr[b];
                s[lanes + b] = aji[b] + ani[b];
                d[b] = ajr[b] - anr[b];
                d[lanes + b] = aji[b] - ani[b];
                y0r[b] += s[b];
                y0i[b] += s[lanes + b];
            }
        }
        for (int m = 1; m <= half; m++) {
            T *ymr = y.re + OUT_AT(i, k, m), *ymi = y.im + OUT_AT(i, k, m);
            T *ynr = y.re + OUT_AT(i, k, ip - m), *yni = y.im + OUT_AT(i, k, ip - m);
            const T cm = wc[(m - 1) * ido + i], sm = S * ws[(m - 1) * ido + i];
            const T cn = wc[(ip - m - 1) * ido + i], sn2 = S * ws[(ip - m - 1) * ido + i];
            T rr[lanes], ri[lanes], qr[lanes], qi[lanes];
            for (int b = 0; b < lanes; b++) {
                rr[b] = a0r[b];
                ri[b] = a0i[b];
                qr[b] = 0;
                qi[b] = 0;
            }
            for (int j = 1; j <= half; j++) {
                const int jm = (int)(((long long)j * m) % ip);
                const T c = cs[jm], sv = sn[jm];
                const T* s = sums + (size_t)(j - 1) * 2 * lanes;
                const T* d = diffs + (size_t)(j - 1) * 2 * lanes;
                for (int b = 0; b < lanes; b++) {
                    rr[b] += c * s[b];
                    ri[b] += c * s[lanes + b];
                    qr[b] += sv * d[b];
                    qi[b] += sv * d[lanes + b];
                }
            }
            for (int b = 0; b < lanes; b++) {
                put<T, Rot>(ymr, ymi, b, rr[b] - qi[b], ri[b] + qr[b], cm, sm);
                put<T, Rot>(ynr, yni, b, rr[b] + qi[b], ri[b] - qr[b], cn, sn2);
            }
        }
    });
}

#undef IN_AT
#undef OUT_AT

// All passes of one dimension over a block of lanes; the input is in `a`, `b` is work space.
// Returns the block that holds the result.
template <typename T, int S>
Split<T> run_passes(const CfftDimension& d, Split<T> a, Split<T> b, T* odd)
{
    const T* wc = cos_table<T>(d);
    const T* ws = sin_table<T>(d);
    int l1 = 1;
    for (size_t s = 0; s < d.factors.size(); s++) {
        const int ip = d.factors[s];
        const int ido = d.n / (l1 * ip);
        const T* c = wc + d.stage_offset[s];
        const T* sn = ws + d.stage_offset[s];
        switch (ip) {
        case 2: pass2<T, S>(ido, l1, a, b, c, sn); break;
        case 3: pass3<T, S>(ido, l1, a, b, c, sn); break;
        case 4: pass4<T, S>(ido, l1, a, b, c, sn); break;
        case 5: pass5<T, S>(ido, l1, a, b, c, sn); break;
        default: pass_odd<T, S>(ido, ip, l1, a, b, c, sn, odd); break;
        }
        std::swap(a, b);
        l1 *= ip;
    }
    return a;
}

// Transforms every column, then every row, of the picture in blocks of `lanes` lines, and
// multiplies the result by `scale`. `scratch` holds 4 × lanes × max(width, height) values,
// `odd` odd_scratch_size of the largest odd radix above 5.
template <typename T, int S>
void transform_2d(const Cfft2dPlan& p, T* c, int ldim, T scale, T* scratch, T* odd)
{
    const int w = p.width, h = p.height;
    const size_t block = (size_t)std::max(w, h) * lanes;
    Split<T> a = {scratch, scratch + block};
    Split<T> b = {scratch + 2 * block, scratch + 3 * block};

    // Columns: the lanes are neighbouring columns, element j is row j.
    for (int x0 = 0; x0 < w; x0 += lanes) {
        const int nb = std::min(lanes, w - x0);
        bool any = false;
        for (int y = 0; y < h; y++) {
            const T* src = c + 2 * ((size_t)y * ldim + x0);
            T* re = a.re + (size_t)y * lanes;
            T* im = a.im + (size_t)y * lanes;
            for (int l = 0; l < nb; l++) {
                re[l] = src[2 * l];
                im[l] = src[2 * l + 1];
                any |= re[l] != 0 || im[l] != 0;
            }
            for (int l = nb; l < lanes; l++)
                re[l] = im[l] = 0;
        }
        if (!any)
            continue;
        const Split<T> r = run_passes<T, S>(p.columns, a, b, odd);
        for (int y = 0; y < h; y++) {
            T* dst = c + 2 * ((size_t)y * ldim + x0);
            const T* re = r.re + (size_t)y * lanes;
            const T* im = r.im + (size_t)y * lanes;
            for (int l = 0; l < nb; l++) {
                dst[2 * l] = re[l];
                dst[2 * l + 1] = im[l];
            }
        }
    }

    // Rows: the lanes are neighbouring rows, element j is column j.
    for (int y0 = 0; y0 < h; y0 += lanes) {
        const int nb = std::min(lanes, h - y0);
        bool any = false;
        for (int l = 0; l < lanes; l++) {
            if (l >= nb) {
                for (int x = 0; x < w; x++)
                    a.re[(size_t)x * lanes + l] = a.im[(size_t)x * lanes + l] = 0;
                continue;
            }
            const T* src = c + 2 * (size_t)(y0 + l) * ldim;
            for (int x = 0; x < w; x++) {
                const T re = src[2 * x], im = src[2 * x + 1];
                a.re[(size_t)x * lanes + l] = re;
                a.im[(size_t)x * lanes + l] = im;
                any |= re != 0 || im != 0;
            }
        }
        if (!any)
            continue;
        const Split<T> r = run_passes<T, S>(p.rows, a, b, odd);
        for (int l = 0; l < nb; l++) {
            T* dst = c + 2 * (size_t)(y0 + l) * ldim;
            for (int x = 0; x < w; x++) {
                dst[2 * x] = r.re[(size_t)x * lanes + l] * scale;
                dst[2 * x + 1] = r.im[(size_t)x * lanes + l] * scale;
            }
        }
    }
}
}  // namespace

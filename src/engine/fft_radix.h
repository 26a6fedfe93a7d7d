// The radix 2, 3, 4 and 5 passes of the real FFT, written once for a vector type V and
// compiled once per instruction set (fft_passes.cpp: four lanes; fft_passes_avx2.cpp: eight).
// Everything here has internal linkage, so the two compilations never mix.
//
// The butterflies are written for a lane type: float for one complex value at a time, or a
// vector for several. Several values are split into a vector of real parts and one of
// imaginary parts, so every lane does exactly the arithmetic of the one-value form, in the
// same order: the results do not depend on which form, or which instruction set, computed them.
#pragma once

#include <cstddef>
#include <cstring>

#include "engine/fft_passes.h"

namespace {

const float taur = -0.5f;
const float taui = 0.866025403784439f;
const float hsqt2 = 0.7071067811865475f;
const float sqrt2 = 1.414213562373095f;
const float tr11 = 0.309016994374947f;
const float ti11 = 0.951056516295154f;
const float tr12 = -0.809016994374947f;
const float ti12 = 0.587785252292473f;

typedef float v4 __attribute__((vector_size(16)));
#ifdef FFT_EIGHT_LANES
typedef float v8 __attribute__((vector_size(32)));
#endif

template <class V>
constexpr int lanes_of()
{
    return (int)(sizeof(V) / sizeof(float));
}

template <class V>
inline V load_vector(const float* p)
{
    V v;
    memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
inline void store_vector(float* p, V v)
{
    memcpy(p, &v, sizeof v);
}

template <class V>
inline V gather(const float* p, ptrdiff_t step)
{
    V v;
    for (int t = 0; t < lanes_of<V>(); t++)
        v[t] = p[t * step];
    return v;
}

template <class V>
inline void scatter(float* p, ptrdiff_t step, V v)
{
    for (int t = 0; t < lanes_of<V>(); t++)
        p[t * step] = v[t];
}

template <class V>
inline V broadcast(float x)
{
    V v;
    for (int t = 0; t < lanes_of<V>(); t++)
        v[t] = x;
    return v;
}

// Lanes<T>: `width` consecutive complex values of one group. The _rev forms address values
// stored in descending order (the last value first), as the mirrored half of a spectrum is.
template <class T> struct Lanes;

template <> struct Lanes<float> {
    using T = float;
    static constexpr int width = 1;
    static float load(const float* p) { return *p; }
    static void split(const float* p, float& re, float& im) { re = p[0]; im = p[1]; }
    static void split_rev(const float* p, float& re, float& im) { re = p[0]; im = p[1]; }
    static void join(float* p, float re, float im) { p[0] = re; p[1] = im; }
    static void join_rev(float* p, float re, float im) { p[0] = re; p[1] = im; }
};

template <> struct Lanes<v4> {
    using T = v4;
    static constexpr int width = 4;
    static v4 load(const float* p) { return load_vector<v4>(p); }
    static void split(const float* p, v4& re, v4& im)
    {
        v4 x = load_vector<v4>(p), y = load_vector<v4>(p + 4);
        re = __builtin_shufflevector(x, y, 0, 2, 4, 6);
        im = __builtin_shufflevector(x, y, 1, 3, 5, 7);
    }
    static void split_rev(const float* p, v4& re, v4& im)
    {
        v4 x = load_vector<v4>(p), y = load_vector<v4>(p + 4);
        re = __builtin_shufflevector(x, y, 6, 4, 2, 0);
        im = __builtin_shufflevector(x, y, 7, 5, 3, 1);
    }
    static void join(float* p, v4 re, v4 im)
    {
        store_vector(p, __builtin_shufflevector(re, im, 0, 4, 1, 5));
        store_vector(p + 4, __builtin_shufflevector(re, im, 2, 6, 3, 7));
    }
    static void join_rev(float* p, v4 re, v4 im)
    {
        store_vector(p, __builtin_shufflevector(re, im, 3, 7, 2, 6));
        store_vector(p + 4, __builtin_shufflevector(re, im, 1, 5, 0, 4));
    }
};

#ifdef FFT_EIGHT_LANES
template <> struct Lanes<v8> {
    using T = v8;
    static constexpr int width = 8;
    static v8 load(const float* p) { return load_vector<v8>(p); }
    static void split(const float* p, v8& re, v8& im)
    {
        v8 x = load_vector<v8>(p), y = load_vector<v8>(p + 8);
        re = __builtin_shufflevector(x, y, 0, 2, 4, 6, 8, 10, 12, 14);
        im = __builtin_shufflevector(x, y, 1, 3, 5, 7, 9, 11, 13, 15);
    }
    static void split_rev(const float* p, v8& re, v8& im)
    {
        v8 x = load_vector<v8>(p), y = load_vector<v8>(p + 8);
        re = __builtin_shufflevector(x, y, 14, 12, 10, 8, 6, 4, 2, 0);
        im = __builtin_shufflevector(x, y, 15, 13, 11, 9, 7, 5, 3, 1);
    }
    static void join(float* p, v8 re, v8 im)
    {
        store_vector(p, __builtin_shufflevector(re, im, 0, 8, 1, 9, 2, 10, 3, 11));
        store_vector(p + 8, __builtin_shufflevector(re, im, 4, 12, 5, 13, 6, 14, 7, 15));
    }
    static void join_rev(float* p, v8 re, v8 im)
    {
        store_vector(p, __builtin_shufflevector(re, im, 7, 15, 6, 14, 5, 13, 4, 12));
        store_vector(p + 8, __builtin_shufflevector(re, im, 3, 11, 2, 10, 1, 9, 0, 8));
    }
};
#endif

// One complex value in each of lanes_of<V>() neighbouring groups: for passes with few values
// per group (small ido) and many groups. Group t's values are t * in_step (inputs) and
// t * out_step (outputs) floats after group 0's; all groups use the same rotations.
template <class V>
struct KLanes {
    using T = V;
    static constexpr int width = 1;
    int in_step, out_step;
    static V load(const float* p) { return broadcast<V>(*p); }
    void split(const float* p, V& re, V& im) const
    {
        re = gather<V>(p, in_step);
        im = gather<V>(p + 1, in_step);
    }
    void split_rev(const float* p, V& re, V& im) const { split(p, re, im); }
    void join(float* p, V re, V im) const
    {
        scatter(p, out_step, re);
        scatter(p + 1, out_step, im);
    }
    void join_rev(float* p, V re, V im) const { join(p, re, im); }
};

// Drives a block butterfly over the complex values m = 1 .. half of groups 0 .. l1-1;
// locate(k) points a and h at group k's runs.
template <class V, class Locate, class Block>
inline void run_groups(int ido, int l1, int half, KLanes<V> across, Locate locate,
                       const float* const* a, float* const* h, const float* tw, Block block)
{
    constexpr int N = lanes_of<V>();
    int k = 0;
    if (half < N)
        for (; k + N <= l1; k += N) {
            locate(k);
            for (int m = 1; m <= half; m++)
                block(across, ido, m, half, a, h, tw);
        }
    if constexpr (N > 4)
        if (half < 4)
            for (; k + 4 <= l1; k += 4) {
                locate(k);
                for (int m = 1; m <= half; m++)
                    block(KLanes<v4>{across.in_step, across.out_step}, ido, m, half, a, h, tw);
            }
    for (; k < l1; k++) {
        locate(k);
        int m = 1;
        for (; m + N - 1 <= half; m += N)
            block(Lanes<V>(), ido, m, half, a, h, tw);
        if constexpr (N > 4)
            for (; m + 3 <= half; m += 4)
                block(Lanes<v4>(), ido, m, half, a, h, tw);
        for (; m <= half; m++)
            block(Lanes<float>(), ido, m, half, a, h, tw);
    }
}

// Forward passes read cc[ido][l1][ip] and write ch[ido][ip][l1].
#define CC(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]
#define CH(a, b, c) ch[((a) - 1) + ido * (((b) - 1) + IP * ((c) - 1))]

// Butterflies on the complex values m .. m+width-1 (1 <= m <= (ido-1)/2) of one group:
// value m sits at 2m-1 (real) and 2m (imaginary); its mirror, for the conjugate half of a
// spectrum, at ido-2m-1 and ido-2m. a[j] are the group's input runs, h[j] its output runs.

struct radf2_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr = lane.load(tw + m - 1), wi = lane.load(tw + half + m - 1);
        T c0r, c0i, c1r, c1i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[1] + r, c1r, c1i);
        T tr2 = wr * c1r + wi * c1i;
        T ti2 = wr * c1i - wi * c1r;
        lane.join(h[0] + r, c0r + tr2, c0i + ti2);
        lane.join_rev(h[1] + rr, c0r - tr2, ti2 - c0i);
    }
};

struct radf3_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        T c0r, c0i, c1r, c1i, c2r, c2i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[1] + r, c1r, c1i);
        lane.split(a[2] + r, c2r, c2i);
        T dr2 = wr1 * c1r + wi1 * c1i;
        T di2 = wr1 * c1i - wi1 * c1r;
        T dr3 = wr2 * c2r + wi2 * c2i;
        T di3 = wr2 * c2i - wi2 * c2r;
        T cr2 = dr2 + dr3;
        T ci2 = di2 + di3;
        lane.join(h[0] + r, c0r + cr2, c0i + ci2);
        T tr2 = c0r + taur * cr2;
        T ti2 = c0i + taur * ci2;
        T tr3 = taui * (di2 - di3);
        T ti3 = taui * (dr3 - dr2);
        lane.join(h[2] + r, tr2 + tr3, ti2 + ti3);
        lane.join_rev(h[1] + rr, tr2 - tr3, ti3 - ti2);
    }
};

struct radf4_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        const T wr3 = lane.load(tw + 4 * half + m - 1), wi3 = lane.load(tw + 5 * half + m - 1);
        T c0r, c0i, c1r, c1i, c2r, c2i, c3r, c3i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[1] + r, c1r, c1i);
        lane.split(a[2] + r, c2r, c2i);
        lane.split(a[3] + r, c3r, c3i);
        T cr2 = wr1 * c1r + wi1 * c1i;
        T ci2 = wr1 * c1i - wi1 * c1r;
        T cr3 = wr2 * c2r + wi2 * c2i;
        T ci3 = wr2 * c2i - wi2 * c2r;
        T cr4 = wr3 * c3r + wi3 * c3i;
        T ci4 = wr3 * c3i - wi3 * c3r;
        T tr1 = cr2 + cr4;
        T tr4 = cr4 - cr2;
        T ti1 = ci2 + ci4;
        T ti4 = ci2 - ci4;
        T ti2 = c0i + ci3;
        T ti3 = c0i - ci3;
        T tr2 = c0r + cr3;
        T tr3 = c0r - cr3;
        lane.join(h[0] + r, tr1 + tr2, ti1 + ti2);
        lane.join_rev(h[3] + rr, tr2 - tr1, ti1 - ti2);
        lane.join(h[2] + r, ti4 + tr3, tr4 + ti3);
        lane.join_rev(h[1] + rr, tr3 - ti4, tr4 - ti3);
    }
};

struct radf5_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        const T wr3 = lane.load(tw + 4 * half + m - 1), wi3 = lane.load(tw + 5 * half + m - 1);
        const T wr4 = lane.load(tw + 6 * half + m - 1), wi4 = lane.load(tw + 7 * half + m - 1);
        T c0r, c0i, c1r, c1i, c2r, c2i, c3r, c3i, c4r, c4i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[1] + r, c1r, c1i);
        lane.split(a[2] + r, c2r, c2i);
        lane.split(a[3] + r, c3r, c3i);
        lane.split(a[4] + r, c4r, c4i);
        T dr2 = wr1 * c1r + wi1 * c1i;
        T di2 = wr1 * c1i - wi1 * c1r;
        T dr3 = wr2 * c2r + wi2 * c2i;
        T di3 = wr2 * c2i - wi2 * c2r;
        T dr4 = wr3 * c3r + wi3 * c3i;
        T di4 = wr3 * c3i - wi3 * c3r;
        T dr5 = wr4 * c4r + wi4 * c4i;
        T di5 = wr4 * c4i - wi4 * c4r;
        T cr2 = dr2 + dr5;
        T ci5 = dr5 - dr2;
        T cr5 = di2 - di5;
        T ci2 = di2 + di5;
        T cr3 = dr3 + dr4;
        T ci4 = dr4 - dr3;
        T cr4 = di3 - di4;
        T ci3 = di3 + di4;
        lane.join(h[0] + r, c0r + cr2 + cr3, c0i + ci2 + ci3);
        T tr2 = c0r + tr11 * cr2 + tr12 * cr3;
        T ti2 = c0i + tr11 * ci2 + tr12 * ci3;
        T tr3 = c0r + tr12 * cr2 + tr11 * cr3;
        T ti3 = c0i + tr12 * ci2 + tr11 * ci3;
        T tr5 = ti11 * cr5 + ti12 * cr4;
        T ti5 = ti11 * ci5 + ti12 * ci4;
        T tr4 = ti12 * cr5 - ti11 * cr4;
        T ti4 = ti12 * ci5 - ti11 * ci4;
        lane.join(h[2] + r, tr2 + tr5, ti2 + ti5);
        lane.join_rev(h[1] + rr, tr2 - tr5, ti5 - ti2);
        lane.join(h[4] + r, tr3 + tr4, ti3 + ti4);
        lane.join_rev(h[3] + rr, tr3 - tr4, ti4 - ti3);
    }
};

// Runs a block butterfly over every complex value of every group: V-wide blocks, then
// smaller ones, or, when groups hold fewer values than V has lanes, that many groups at a
// time. Forward groups read cc[ido][l1][ip] and write ch[ido][ip][l1].
template <int IP, class V, class Block>
static void forward_groups(int ido, int l1, const float* cc, float* ch, const float* tw,
                           Block block)
{
    const int half = (ido - 1) / 2;
    const float* a[IP];
    float* h[IP];
    auto locate = [&](int k) {
        for (int j = 0; j < IP; j++) {
            a[j] = cc + (size_t)ido * ((size_t)k + (size_t)l1 * j);
            h[j] = ch + (size_t)ido * ((size_t)j + (size_t)IP * k);
        }
    };
    run_groups<V>(ido, l1, half, KLanes<V>{ido, IP * ido}, locate, a, h, tw, block);
}

// The values with m = 0 of every group: real inputs c[0 .. ip-1] (row 0 of each input run)
// give the outputs in spectrum order, o[p] for p = 0 .. ip-1, which sit in row 0 of output
// run p when p is even and in row ido-1 when p is odd.
struct radf2_edge {
    template <class T>
    void operator()(const T* c, T* o) const
    {
        o[0] = c[0] + c[1];
        o[1] = c[0] - c[1];
    }
};

struct radf3_edge {
    template <class T>
    void operator()(const T* c, T* o) const
    {
        T cr2 = c[1] + c[2];
        o[0] = c[0] + cr2;
        o[2] = taui * (c[2] - c[1]);
        o[1] = c[0] + taur * cr2;
    }
};

struct radf4_edge {
    template <class T>
    void operator()(const T* c, T* o) const
    {
        T tr1 = c[1] + c[3];
        T tr2 = c[0] + c[2];
        o[0] = tr1 + tr2;
        o[3] = tr2 - tr1;
        o[1] = c[0] - c[2];
        o[2] = c[3] - c[1];
    }
};

struct radf5_edge {
    template <class T>
    void operator()(const T* c, T* o) const
    {
        T cr2 = c[4] + c[1];
        T ci5 = c[4] - c[1];
        T cr3 = c[3] + c[2];
        T ci4 = c[3] - c[2];
        o[0] = c[0] + cr2 + cr3;
        o[1] = c[0] + tr11 * cr2 + tr12 * cr3;
        o[2] = ti11 * ci5 + ti12 * ci4;
        o[3] = c[0] + tr12 * cr2 + tr11 * cr3;
        o[4] = ti12 * ci5 - ti11 * ci4;
    }
};

// N = lanes of V neighbouring groups go through the edge butterfly at once; with ido == 1
// their inputs are adjacent.
template <int IP, class V, class Edge>
static int forward_edges_across(int ido, int l1, const float* cc, float* ch, Edge edge, int k)
{
    constexpr int N = lanes_of<V>();
    if (ido == 1)
        for (; k + N <= l1; k += N) {
            V c[IP], o[IP];
            for (int j = 0; j < IP; j++)
                c[j] = load_vector<V>(cc + k + (size_t)l1 * j);
            edge(c, o);
            float* dst = ch + (size_t)IP * k;
            for (int t = 0; t < N; t++)
                for (int q = 0; q < IP; q++)
                    dst[IP * t + q] = o[q][t];
        }
    else
        for (; k + N <= l1; k += N) {
            V c[IP], o[IP];
            for (int j = 0; j < IP; j++)
                c[j] = gather<V>(cc + (size_t)ido * ((size_t)k + (size_t)l1 * j), ido);
            edge(c, o);
            for (int q = 0; q < IP; q++)
                scatter(ch + (q & 1 ? ido - 1 : 0) + (size_t)ido * ((size_t)q + (size_t)IP * k),
                        IP * ido, o[q]);
        }
    return k;
}

template <int IP, class V, class Edge>
static void forward_edges(int ido, int l1, const float* cc, float* ch, Edge edge)
{
    int k = forward_edges_across<IP, V>(ido, l1, cc, ch, edge, 0);
    if constexpr (lanes_of<V>() > 4)
        k = forward_edges_across<IP, v4>(ido, l1, cc, ch, edge, k);
    for (; k < l1; k++) {
        float c[IP], o[IP];
        for (int j = 0; j < IP; j++)
            c[j] = cc[(size_t)ido * ((size_t)k + (size_t)l1 * j)];
        edge(c, o);
        for (int q = 0; q < IP; q++)
            ch[(q & 1 ? ido - 1 : 0) + (size_t)ido * ((size_t)q + (size_t)IP * k)] = o[q];
    }
}

template <class V>
static void radf2_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    const int IP = 2;
    forward_edges<2, V>(ido, l1, cc, ch, radf2_edge());
    if (ido < 2)
        return;
    if (ido > 2) {
        forward_groups<2, V>(ido, l1, cc, ch, tw, radf2_block());
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        CH(1, 2, k) = -CC(ido, k, 2);
        CH(ido, 1, k) = CC(ido, k, 1);
    }
}

template <class V>
static void radf3_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    forward_edges<3, V>(ido, l1, cc, ch, radf3_edge());
    if (ido > 1)
        forward_groups<3, V>(ido, l1, cc, ch, tw, radf3_block());
}

template <class V>
static void radf4_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    const int IP = 4;
    forward_edges<4, V>(ido, l1, cc, ch, radf4_edge());
    if (ido < 2)
        return;
    if (ido > 2) {
        forward_groups<4, V>(ido, l1, cc, ch, tw, radf4_block());
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        float ti1 = -hsqt2 * (CC(ido, k, 2) + CC(ido, k, 4));
        float tr1 = hsqt2 * (CC(ido, k, 2) - CC(ido, k, 4));
        CH(ido, 1, k) = tr1 + CC(ido, k, 1);
        CH(ido, 3, k) = CC(ido, k, 1) - tr1;
        CH(1, 2, k) = ti1 - CC(ido, k, 3);
        CH(1, 4, k) = ti1 + CC(ido, k, 3);
    }
}

template <class V>
static void radf5_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    forward_edges<5, V>(ido, l1, cc, ch, radf5_edge());
    if (ido > 1)
        forward_groups<5, V>(ido, l1, cc, ch, tw, radf5_block());
}

#undef CC
#undef CH

// Backward passes read cc[ido][ip][l1] and write ch[ido][l1][ip].
#define CC(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + IP * ((c) - 1))]
#define CH(a, b, c) ch[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]

struct radb2_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr = lane.load(tw + m - 1), wi = lane.load(tw + half + m - 1);
        T c0r, c0i, b1r, b1i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split_rev(a[1] + rr, b1r, b1i);
        T tr2 = c0r - b1r;
        T ti2 = c0i + b1i;
        lane.join(h[0] + r, c0r + b1r, c0i - b1i);
        lane.join(h[1] + r, wr * tr2 - wi * ti2, wr * ti2 + wi * tr2);
    }
};

struct radb3_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        T c0r, c0i, c2r, c2i, b1r, b1i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[2] + r, c2r, c2i);
        lane.split_rev(a[1] + rr, b1r, b1i);
        T tr2 = c2r + b1r;
        T cr2 = c0r + taur * tr2;
        T ti2 = c2i - b1i;
        T ci2 = c0i + taur * ti2;
        lane.join(h[0] + r, c0r + tr2, c0i + ti2);
        T cr3 = taui * (c2r - b1r);
        T ci3 = taui * (c2i + b1i);
        T dr2 = cr2 - ci3;
        T dr3 = cr2 + ci3;
        T di2 = ci2 + cr3;
        T di3 = ci2 - cr3;
        lane.join(h[1] + r, wr1 * dr2 - wi1 * di2, wr1 * di2 + wi1 * dr2);
        lane.join(h[2] + r, wr2 * dr3 - wi2 * di3, wr2 * di3 + wi2 * dr3);
    }
};

struct radb4_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        const T wr3 = lane.load(tw + 4 * half + m - 1), wi3 = lane.load(tw + 5 * half + m - 1);
        T c0r, c0i, c2r, c2i, b1r, b1i, b3r, b3i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[2] + r, c2r, c2i);
        lane.split_rev(a[1] + rr, b1r, b1i);
        lane.split_rev(a[3] + rr, b3r, b3i);
        T ti1 = c0i + b3i;
        T ti2 = c0i - b3i;
        T ti3 = c2i - b1i;
        T tr4 = c2i + b1i;
        T tr1 = c0r - b3r;
        T tr2 = c0r + b3r;
        T ti4 = c2r - b1r;
        T tr3 = c2r + b1r;
        lane.join(h[0] + r, tr2 + tr3, ti2 + ti3);
        T cr3 = tr2 - tr3;
        T ci3 = ti2 - ti3;
        T cr2 = tr1 - tr4;
        T cr4 = tr1 + tr4;
        T ci2 = ti1 + ti4;
        T ci4 = ti1 - ti4;
        lane.join(h[1] + r, wr1 * cr2 - wi1 * ci2, wr1 * ci2 + wi1 * cr2);
        lane.join(h[2] + r, wr2 * cr3 - wi2 * ci3, wr2 * ci3 + wi2 * cr3);
        lane.join(h[3] + r, wr3 * cr4 - wi3 * ci4, wr3 * ci4 + wi3 * cr4);
    }
};

struct radb5_block {
    template <class L>
    void operator()(const L& lane, int ido, int m, int half, const float* const* a,
                    float* const* h, const float* tw) const
    {
        using T = typename L::T;
        const int r = 2 * m - 1, rr = ido - 2 * (m + L::width - 1) - 1;
        const T wr1 = lane.load(tw + m - 1), wi1 = lane.load(tw + half + m - 1);
        const T wr2 = lane.load(tw + 2 * half + m - 1), wi2 = lane.load(tw + 3 * half + m - 1);
        const T wr3 = lane.load(tw + 4 * half + m - 1), wi3 = lane.load(tw + 5 * half + m - 1);
        const T wr4 = lane.load(tw + 6 * half + m - 1), wi4 = lane.load(tw + 7 * half + m - 1);
        T c0r, c0i, c2r, c2i, c4r, c4i, b1r, b1i, b3r, b3i;
        lane.split(a[0] + r, c0r, c0i);
        lane.split(a[2] + r, c2r, c2i);
        lane.split(a[4] + r, c4r, c4i);
        lane.split_rev(a[1] + rr, b1r, b1i);
        lane.split_rev(a[3] + rr, b3r, b3i);
        T ti5 = c2i + b1i;
        T ti2 = c2i - b1i;
        T ti4 = c4i + b3i;
        T ti3 = c4i - b3i;
        T tr5 = c2r - b1r;
        T tr2 = c2r + b1r;
        T tr4 = c4r - b3r;
        T tr3 = c4r + b3r;
        lane.join(h[0] + r, c0r + tr2 + tr3, c0i + ti2 + ti3);
        T cr2 = c0r + tr11 * tr2 + tr12 * tr3;
        T ci2 = c0i + tr11 * ti2 + tr12 * ti3;
        T cr3 = c0r + tr12 * tr2 + tr11 * tr3;
        T ci3 = c0i + tr12 * ti2 + tr11 * ti3;
        T cr5 = ti11 * tr5 + ti12 * tr4;
        T ci5 = ti11 * ti5 + ti12 * ti4;
        T cr4 = ti12 * tr5 - ti11 * tr4;
        T ci4 = ti12 * ti5 - ti11 * ti4;
        T dr3 = cr3 - ci4;
        T dr4 = cr3 + ci4;
        T di3 = ci3 + cr4;
        T di4 = ci3 - cr4;
        T dr5 = cr2 + ci5;
        T dr2 = cr2 - ci5;
        T di5 = ci2 - cr5;
        T di2 = ci2 + cr5;
        lane.join(h[1] + r, wr1 * dr2 - wi1 * di2, wr1 * di2 + wi1 * dr2);
        lane.join(h[2] + r, wr2 * dr3 - wi2 * di3, wr2 * di3 + wi2 * dr3);
        lane.join(h[3] + r, wr3 * dr4 - wi3 * di4, wr3 * di4 + wi3 * dr4);
        lane.join(h[4] + r, wr4 * dr5 - wi4 * di5, wr4 * di5 + wi4 * dr5);
    }
};

// Backward groups read cc[ido][ip][l1] and write ch[ido][l1][ip].
template <int IP, class V, class Block>
static void backward_groups(int ido, int l1, const float* cc, float* ch, const float* tw,
                            Block block)
{
    const int half = (ido - 1) / 2;
    const float* a[IP];
    float* h[IP];
    auto locate = [&](int k) {
        for (int j = 0; j < IP; j++) {
            a[j] = cc + (size_t)ido * ((size_t)j + (size_t)IP * k);
            h[j] = ch + (size_t)ido * ((size_t)k + (size_t)l1 * j);
        }
    };
    run_groups<V>(ido, l1, half, KLanes<V>{IP * ido, ido}, locate, a, h, tw, block);
}

// The values with m = 0: inputs p[0 .. ip-1] in spectrum order (row 0 of input run q when
// q is even, row ido-1 when odd) give the real outputs o[j], row 0 of output run j.
struct radb2_edge {
    template <class T>
    void operator()(const T* p, T* o) const
    {
        o[0] = p[0] + p[1];
        o[1] = p[0] - p[1];
    }
};

struct radb3_edge {
    template <class T>
    void operator()(const T* p, T* o) const
    {
        T tr2 = p[1] + p[1];
        T cr2 = p[0] + taur * tr2;
        o[0] = p[0] + tr2;
        T ci3 = taui * (p[2] + p[2]);
        o[1] = cr2 - ci3;
        o[2] = cr2 + ci3;
    }
};

struct radb4_edge {
    template <class T>
    void operator()(const T* p, T* o) const
    {
        T tr1 = p[0] - p[3];
        T tr2 = p[0] + p[3];
        T tr3 = p[1] + p[1];
        T tr4 = p[2] + p[2];
        o[0] = tr2 + tr3;
        o[1] = tr1 - tr4;
        o[2] = tr2 - tr3;
        o[3] = tr1 + tr4;
    }
};

struct radb5_edge {
    template <class T>
    void operator()(const T* p, T* o) const
    {
        T ti5 = p[2] + p[2];
        T ti4 = p[4] + p[4];
        T tr2 = p[1] + p[1];
        T tr3 = p[3] + p[3];
        o[0] = p[0] + tr2 + tr3;
        T cr2 = p[0] + tr11 * tr2 + tr12 * tr3;
        T cr3 = p[0] + tr12 * tr2 + tr11 * tr3;
        T ci5 = ti11 * ti5 + ti12 * ti4;
        T ci4 = ti12 * ti5 - ti11 * ti4;
        o[1] = cr2 - ci5;
        o[2] = cr3 - ci4;
        o[3] = cr3 + ci4;
        o[4] = cr2 + ci5;
    }
};

template <int IP, class V, class Edge>
static int backward_edges_across(int ido, int l1, const float* cc, float* ch, Edge edge, int k)
{
    constexpr int N = lanes_of<V>();
    if (ido == 1)
        for (; k + N <= l1; k += N) {
            V p[IP], o[IP];
            for (int q = 0; q < IP; q++)
                p[q] = gather<V>(cc + (size_t)IP * k + q, IP);
            edge(p, o);
            for (int j = 0; j < IP; j++)
                store_vector(ch + k + (size_t)l1 * j, o[j]);
        }
    else
        for (; k + N <= l1; k += N) {
            V p[IP], o[IP];
            for (int q = 0; q < IP; q++)
                p[q] = gather<V>(cc + (q & 1 ? ido - 1 : 0) +
                                     (size_t)ido * ((size_t)q + (size_t)IP * k),
                                 IP * ido);
            edge(p, o);
            for (int j = 0; j < IP; j++)
                scatter(ch + (size_t)ido * ((size_t)k + (size_t)l1 * j), ido, o[j]);
        }
    return k;
}

template <int IP, class V, class Edge>
static void backward_edges(int ido, int l1, const float* cc, float* ch, Edge edge)
{
    int k = backward_edges_across<IP, V>(ido, l1, cc, ch, edge, 0);
    if constexpr (lanes_of<V>() > 4)
        k = backward_edges_across<IP, v4>(ido, l1, cc, ch, edge, k);
    for (; k < l1; k++) {
        float p[IP], o[IP];
        for (int q = 0; q < IP; q++)
            p[q] = cc[(q & 1 ? ido - 1 : 0) + (size_t)ido * ((size_t)q + (size_t)IP * k)];
        edge(p, o);
        for (int j = 0; j < IP; j++)
            ch[(size_t)ido * ((size_t)k + (size_t)l1 * j)] = o[j];
    }
}

template <class V>
static void radb2_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    const int IP = 2;
    backward_edges<2, V>(ido, l1, cc, ch, radb2_edge());
    if (ido < 2)
        return;
    if (ido > 2) {
        backward_groups<2, V>(ido, l1, cc, ch, tw, radb2_block());
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        CH(ido, k, 1) = CC(ido, 1, k) + CC(ido, 1, k);
        CH(ido, k, 2) = -(CC(1, 2, k) + CC(1, 2, k));
    }
}

template <class V>
static void radb3_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    backward_edges<3, V>(ido, l1, cc, ch, radb3_edge());
    if (ido > 1)
        backward_groups<3, V>(ido, l1, cc, ch, tw, radb3_block());
}

template <class V>
static void radb4_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    const int IP = 4;
    backward_edges<4, V>(ido, l1, cc, ch, radb4_edge());
    if (ido < 2)
        return;
    if (ido > 2) {
        backward_groups<4, V>(ido, l1, cc, ch, tw, radb4_block());
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        float ti1 = CC(1, 2, k) + CC(1, 4, k);
        float ti2 = CC(1, 4, k) - CC(1, 2, k);
        float tr1 = CC(ido, 1, k) - CC(ido, 3, k);
        float tr2 = CC(ido, 1, k) + CC(ido, 3, k);
        CH(ido, k, 1) = tr2 + tr2;
        CH(ido, k, 2) = sqrt2 * (tr1 - ti1);
        CH(ido, k, 3) = ti2 + ti2;
        CH(ido, k, 4) = -sqrt2 * (tr1 + ti1);
    }
}

template <class V>
static void radb5_pass(int ido, int l1, const float* cc, float* ch, const float* tw)
{
    backward_edges<5, V>(ido, l1, cc, ch, radb5_edge());
    if (ido > 1)
        backward_groups<5, V>(ido, l1, cc, ch, tw, radb5_block());
}

#undef CC
#undef CH

template <class V>
FftRadixPasses make_radix_passes()
{
    return FftRadixPasses{{radf2_pass<V>, radf3_pass<V>, radf4_pass<V>, radf5_pass<V>},
                          {radb2_pass<V>, radb3_pass<V>, radb4_pass<V>, radb5_pass<V>}};
}

}  // namespace

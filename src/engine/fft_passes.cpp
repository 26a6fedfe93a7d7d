// The general odd-radix passes, and the four-lane build of the radix 2 to 5 passes.
#include "engine/fft_passes.h"

#include <cmath>

#include "engine/fft_radix.h"

static const float tpi = 6.28318530717959f;

// The general pass sees the same memory under several shapes: C1/CH as [ido][l1][ip],
// CC as [ido][ip][l1], C2/CH2 as [ido*l1][ip].
#define C1(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]
#define CH(a, b, c) ch[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]
#define CC(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + ip * ((c) - 1))]
#define C2(a, b) cc[((a) - 1) + idl1 * ((b) - 1)]
#define CH2(a, b) ch[((a) - 1) + idl1 * ((b) - 1)]

void radfg(int ido, int ip, int l1, float* cc, float* ch, const float* wa)
{
    const int idl1 = ido * l1;
    const float arg = tpi / (float)ip;
    const float dcp = cosf(arg);
    const float dsp = sinf(arg);
    const int ipph = (ip + 1) / 2;
    const int ipp2 = ip + 2;
    const int idp2 = ido + 2;

    if (ido == 1) {
        for (int ik = 1; ik <= idl1; ik++)
            C2(ik, 1) = CH2(ik, 1);
    } else {
        for (int ik = 1; ik <= idl1; ik++)
            CH2(ik, 1) = C2(ik, 1);
        for (int j = 2; j <= ip; j++)
            for (int k = 1; k <= l1; k++)
                CH(1, k, j) = C1(1, k, j);
        for (int j = 2; j <= ip; j++) {
            const float* w = wa + (j - 2) * ido;
            for (int k = 1; k <= l1; k++)
                for (int i = 3; i <= ido; i += 2) {
                    CH(i - 1, k, j) = w[i - 3] * C1(i - 1, k, j) + w[i - 2] * C1(i, k, j);
                    CH(i, k, j) = w[i - 3] * C1(i, k, j) - w[i - 2] * C1(i - 1, k, j);
                }
        }
        for (int j = 2; j <= ipph; j++) {
            const int jc = ipp2 - j;
            for (int k = 1; k <= l1; k++)
                for (int i = 3; i <= ido; i += 2) {
                    C1(i - 1, k, j) = CH(i - 1, k, j) + CH(i - 1, k, jc);
                    C1(i - 1, k, jc) = CH(i, k, j) - CH(i, k, jc);
                    C1(i, k, j) = CH(i, k, j) + CH(i, k, jc);
                    C1(i, k, jc) = CH(i - 1, k, jc) - CH(i - 1, k, j);
                }
        }
    }
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        for (int k = 1; k <= l1; k++) {
            C1(1, k, j) = CH(1, k, j) + CH(1, k, jc);
            C1(1, k, jc) = CH(1, k, jc) - CH(1, k, j);
        }
    }

    float ar1 = 1.0f, ai1 = 0.0f;
    for (int l = 2; l <= ipph; l++) {
        const int lc = ipp2 - l;
        float ar1h = dcp * ar1 - dsp * ai1;
        ai1 = dcp * ai1 + dsp * ar1;
        ar1 = ar1h;
        for (int ik = 1; ik <= idl1; ik++) {
            CH2(ik, l) = C2(ik, 1) + ar1 * C2(ik, 2);
            CH2(ik, lc) = ai1 * C2(ik, ip);
        }
        const float dc2 = ar1, ds2 = ai1;
        float ar2 = ar1, ai2 = ai1;
        for (int j = 3; j <= ipph; j++) {
            const int jc = ipp2 - j;
            float ar2h = dc2 * ar2 - ds2 * ai2;
            ai2 = dc2 * ai2 + ds2 * ar2;
            ar2 = ar2h;
            for (int ik = 1; ik <= idl1; ik++) {
                CH2(ik, l) = CH2(ik, l) + ar2 * C2(ik, j);
                CH2(ik, lc) = CH2(ik, lc) + ai2 * C2(ik, jc);
            }
        }
    }
    for (int j = 2; j <= ipph; j++)
        for (int ik = 1; ik <= idl1; ik++)
            CH2(ik, 1) = CH2(ik, 1) + C2(ik, j);

    for (int k = 1; k <= l1; k++)
        for (int i = 1; i <= ido; i++)
            CC(i, 1, k) = CH(i, k, 1);
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        const int j2 = j + j;
        for (int k = 1; k <= l1; k++) {
            CC(ido, j2 - 2, k) = CH(1, k, j);
            CC(1, j2 - 1, k) = CH(1, k, jc);
        }
    }
    if (ido == 1)
        return;
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        const int j2 = j + j;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                CC(i - 1, j2 - 1, k) = CH(i - 1, k, j) + CH(i - 1, k, jc);
                CC(ic - 1, j2 - 2, k) = CH(i - 1, k, j) - CH(i - 1, k, jc);
                CC(i, j2 - 1, k) = CH(i, k, j) + CH(i, k, jc);
                CC(ic, j2 - 2, k) = CH(i, k, jc) - CH(i, k, j);
            }
    }
}

void radbg(int ido, int ip, int l1, float* cc, float* ch, const float* wa)
{
    const int idl1 = ido * l1;
    const float arg = tpi / (float)ip;
    const float dcp = cosf(arg);
    const float dsp = sinf(arg);
    const int ipph = (ip + 1) / 2;
    const int ipp2 = ip + 2;
    const int idp2 = ido + 2;

    for (int k = 1; k <= l1; k++)
        for (int i = 1; i <= ido; i++)
            CH(i, k, 1) = CC(i, 1, k);
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        const int j2 = j + j;
        for (int k = 1; k <= l1; k++) {
            CH(1, k, j) = CC(ido, j2 - 2, k) + CC(ido, j2 - 2, k);
            CH(1, k, jc) = CC(1, j2 - 1, k) + CC(1, j2 - 1, k);
        }
    }
    if (ido != 1) {
        for (int j = 2; j <= ipph; j++) {
            const int jc = ipp2 - j;
            for (int k = 1; k <= l1; k++)
                for (int i = 3; i <= ido; i += 2) {
                    const int ic = idp2 - i;
                    CH(i - 1, k, j) = CC(i - 1, 2 * j - 1, k) + CC(ic - 1, 2 * j - 2, k);
                    CH(i - 1, k, jc) = CC(i - 1, 2 * j - 1, k) - CC(ic - 1, 2 * j - 2, k);
                    CH(i, k, j) = CC(i, 2 * j - 1, k) - CC(ic, 2 * j - 2, k);
                    CH(i, k, jc) = CC(i, 2 * j - 1, k) + CC(ic, 2 * j - 2, k);
                }
        }
    }

    float ar1 = 1.0f, ai1 = 0.0f;
    for (int l = 2; l <= ipph; l++) {
        const int lc = ipp2 - l;
        float ar1h = dcp * ar1 - dsp * ai1;
        ai1 = dcp * ai1 + dsp * ar1;
        ar1 = ar1h;
        for (int ik = 1; ik <= idl1; ik++) {
            C2(ik, l) = CH2(ik, 1) + ar1 * CH2(ik, 2);
            C2(ik, lc) = ai1 * CH2(ik, ip);
        }
        const float dc2 = ar1, ds2 = ai1;
        float ar2 = ar1, ai2 = ai1;
        for (int j = 3; j <= ipph; j++) {
            const int jc = ipp2 - j;
            float ar2h = dc2 * ar2 - ds2 * ai2;
            ai2 = dc2 * ai2 + ds2 * ar2;
            ar2 = ar2h;
            for (int ik = 1; ik <= idl1; ik++) {
                C2(ik, l) = C2(ik, l) + ar2 * CH2(ik, j);
                C2(ik, lc) = C2(ik, lc) + ai2 * CH2(ik, jc);
            }
        }
    }
    for (int j = 2; j <= ipph; j++)
        for (int ik = 1; ik <= idl1; ik++)
            CH2(ik, 1) = CH2(ik, 1) + CH2(ik, j);
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        for (int k = 1; k <= l1; k++) {
            CH(1, k, j) = C1(1, k, j) - C1(1, k, jc);
            CH(1, k, jc) = C1(1, k, j) + C1(1, k, jc);
        }
    }
    if (ido == 1)
        return;
    for (int j = 2; j <= ipph; j++) {
        const int jc = ipp2 - j;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                CH(i - 1, k, j) = C1(i - 1, k, j) - C1(i, k, jc);
                CH(i - 1, k, jc) = C1(i - 1, k, j) + C1(i, k, jc);
                CH(i, k, j) = C1(i, k, j) + C1(i - 1, k, jc);
                CH(i, k, jc) = C1(i, k, j) - C1(i - 1, k, jc);
            }
    }

    for (int ik = 1; ik <= idl1; ik++)
        C2(ik, 1) = CH2(ik, 1);
    for (int j = 2; j <= ip; j++)
        for (int k = 1; k <= l1; k++)
            C1(1, k, j) = CH(1, k, j);
    for (int j = 2; j <= ip; j++) {
        const float* w = wa + (j - 2) * ido;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                C1(i - 1, k, j) = w[i - 3] * CH(i - 1, k, j) - w[i - 2] * CH(i, k, j);
                C1(i, k, j) = w[i - 3] * CH(i, k, j) + w[i - 2] * CH(i - 1, k, j);
            }
    }
}

#undef C1
#undef CH
#undef CC
#undef C2
#undef CH2

const FftRadixPasses& fft_radix_passes_four_lane()
{
    static const FftRadixPasses passes = make_radix_passes<v4>();
    return passes;
}

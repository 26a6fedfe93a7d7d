// Butterfly passes of the real FFT, written with 1-based indices into the three-index views
// of the arrays so that each butterfly reads as its formula.
#include "engine/fft_passes.h"

#include <cmath>

static const float taur = -0.5f;
static const float taui = 0.866025403784439f;
static const float hsqt2 = 0.7071067811865475f;
static const float sqrt2 = 1.414213562373095f;
static const float tr11 = 0.309016994374947f;
static const float ti11 = 0.951056516295154f;
static const float tr12 = -0.809016994374947f;
static const float ti12 = 0.587785252292473f;
static const float tpi = 6.28318530717959f;

// Forward passes read cc[ido][l1][ip] and write ch[ido][ip][l1].
#define CC(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]
#define CH(a, b, c) ch[((a) - 1) + ido * (((b) - 1) + IP * ((c) - 1))]

void radf2(int ido, int l1, const float* cc, float* ch, const float* wa1)
{
    const int IP = 2;
    for (int k = 1; k <= l1; k++) {
        CH(1, 1, k) = CC(1, k, 1) + CC(1, k, 2);
        CH(ido, 2, k) = CC(1, k, 1) - CC(1, k, 2);
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                float tr2 = wa1[i - 3] * CC(i - 1, k, 2) + wa1[i - 2] * CC(i, k, 2);
                float ti2 = wa1[i - 3] * CC(i, k, 2) - wa1[i - 2] * CC(i - 1, k, 2);
                CH(i, 1, k) = CC(i, k, 1) + ti2;
                CH(ic, 2, k) = ti2 - CC(i, k, 1);
                CH(i - 1, 1, k) = CC(i - 1, k, 1) + tr2;
                CH(ic - 1, 2, k) = CC(i - 1, k, 1) - tr2;
            }
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        CH(1, 2, k) = -CC(ido, k, 2);
        CH(ido, 1, k) = CC(ido, k, 1);
    }
}

void radf3(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2)
{
    const int IP = 3;
    for (int k = 1; k <= l1; k++) {
        float cr2 = CC(1, k, 2) + CC(1, k, 3);
        CH(1, 1, k) = CC(1, k, 1) + cr2;
        CH(1, 3, k) = taui * (CC(1, k, 3) - CC(1, k, 2));
        CH(ido, 2, k) = CC(1, k, 1) + taur * cr2;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; k++)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            float dr2 = wa1[i - 3] * CC(i - 1, k, 2) + wa1[i - 2] * CC(i, k, 2);
            float di2 = wa1[i - 3] * CC(i, k, 2) - wa1[i - 2] * CC(i - 1, k, 2);
            float dr3 = wa2[i - 3] * CC(i - 1, k, 3) + wa2[i - 2] * CC(i, k, 3);
            float di3 = wa2[i - 3] * CC(i, k, 3) - wa2[i - 2] * CC(i - 1, k, 3);
            float cr2 = dr2 + dr3;
            float ci2 = di2 + di3;
            CH(i - 1, 1, k) = CC(i - 1, k, 1) + cr2;
            CH(i, 1, k) = CC(i, k, 1) + ci2;
            float tr2 = CC(i - 1, k, 1) + taur * cr2;
            float ti2 = CC(i, k, 1) + taur * ci2;
            float tr3 = taui * (di2 - di3);
            float ti3 = taui * (dr3 - dr2);
            CH(i - 1, 3, k) = tr2 + tr3;
            CH(ic - 1, 2, k) = tr2 - tr3;
            CH(i, 3, k) = ti2 + ti3;
            CH(ic, 2, k) = ti3 - ti2;
        }
}

void radf4(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3)
{
    const int IP = 4;
    for (int k = 1; k <= l1; k++) {
        float tr1 = CC(1, k, 2) + CC(1, k, 4);
        float tr2 = CC(1, k, 1) + CC(1, k, 3);
        CH(1, 1, k) = tr1 + tr2;
        CH(ido, 4, k) = tr2 - tr1;
        CH(ido, 2, k) = CC(1, k, 1) - CC(1, k, 3);
        CH(1, 3, k) = CC(1, k, 4) - CC(1, k, 2);
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                float cr2 = wa1[i - 3] * CC(i - 1, k, 2) + wa1[i - 2] * CC(i, k, 2);
                float ci2 = wa1[i - 3] * CC(i, k, 2) - wa1[i - 2] * CC(i - 1, k, 2);
                float cr3 = wa2[i - 3] * CC(i - 1, k, 3) + wa2[i - 2] * CC(i, k, 3);
                float ci3 = wa2[i - 3] * CC(i, k, 3) - wa2[i - 2] * CC(i - 1, k, 3);
                float cr4 = wa3[i - 3] * CC(i - 1, k, 4) + wa3[i - 2] * CC(i, k, 4);
                float ci4 = wa3[i - 3] * CC(i, k, 4) - wa3[i - 2] * CC(i - 1, k, 4);
                float tr1 = cr2 + cr4;
                float tr4 = cr4 - cr2;
                float ti1 = ci2 + ci4;
                float ti4 = ci2 - ci4;
                float ti2 = CC(i, k, 1) + ci3;
                float ti3 = CC(i, k, 1) - ci3;
                float tr2 = CC(i - 1, k, 1) + cr3;
                float tr3 = CC(i - 1, k, 1) - cr3;
                CH(i - 1, 1, k) = tr1 + tr2;
                CH(ic - 1, 4, k) = tr2 - tr1;
                CH(i, 1, k) = ti1 + ti2;
                CH(ic, 4, k) = ti1 - ti2;
                CH(i - 1, 3, k) = ti4 + tr3;
                CH(ic - 1, 2, k) = tr3 - ti4;
                CH(i, 3, k) = tr4 + ti3;
                CH(ic, 2, k) = tr4 - ti3;
            }
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

void radf5(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3, const float* wa4)
{
    const int IP = 5;
    for (int k = 1; k <= l1; k++) {
        float cr2 = CC(1, k, 5) + CC(1, k, 2);
        float ci5 = CC(1, k, 5) - CC(1, k, 2);
        float cr3 = CC(1, k, 4) + CC(1, k, 3);
        float ci4 = CC(1, k, 4) - CC(1, k, 3);
        CH(1, 1, k) = CC(1, k, 1) + cr2 + cr3;
        CH(ido, 2, k) = CC(1, k, 1) + tr11 * cr2 + tr12 * cr3;
        CH(1, 3, k) = ti11 * ci5 + ti12 * ci4;
        CH(ido, 4, k) = CC(1, k, 1) + tr12 * cr2 + tr11 * cr3;
        CH(1, 5, k) = ti12 * ci5 - ti11 * ci4;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; k++)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            float dr2 = wa1[i - 3] * CC(i - 1, k, 2) + wa1[i - 2] * CC(i, k, 2);
            float di2 = wa1[i - 3] * CC(i, k, 2) - wa1[i - 2] * CC(i - 1, k, 2);
            float dr3 = wa2[i - 3] * CC(i - 1, k, 3) + wa2[i - 2] * CC(i, k, 3);
            float di3 = wa2[i - 3] * CC(i, k, 3) - wa2[i - 2] * CC(i - 1, k, 3);
            float dr4 = wa3[i - 3] * CC(i - 1, k, 4) + wa3[i - 2] * CC(i, k, 4);
            float di4 = wa3[i - 3] * CC(i, k, 4) - wa3[i - 2] * CC(i - 1, k, 4);
            float dr5 = wa4[i - 3] * CC(i - 1, k, 5) + wa4[i - 2] * CC(i, k, 5);
            float di5 = wa4[i - 3] * CC(i, k, 5) - wa4[i - 2] * CC(i - 1, k, 5);
            float cr2 = dr2 + dr5;
            float ci5 = dr5 - dr2;
            float cr5 = di2 - di5;
            float ci2 = di2 + di5;
            float cr3 = dr3 + dr4;
            float ci4 = dr4 - dr3;
            float cr4 = di3 - di4;
            float ci3 = di3 + di4;
            CH(i - 1, 1, k) = CC(i - 1, k, 1) + cr2 + cr3;
            CH(i, 1, k) = CC(i, k, 1) + ci2 + ci3;
            float tr2 = CC(i - 1, k, 1) + tr11 * cr2 + tr12 * cr3;
            float ti2 = CC(i, k, 1) + tr11 * ci2 + tr12 * ci3;
            float tr3 = CC(i - 1, k, 1) + tr12 * cr2 + tr11 * cr3;
            float ti3 = CC(i, k, 1) + tr12 * ci2 + tr11 * ci3;
            float tr5 = ti11 * cr5 + ti12 * cr4;
            float ti5 = ti11 * ci5 + ti12 * ci4;
            float tr4 = ti12 * cr5 - ti11 * cr4;
            float ti4 = ti12 * ci5 - ti11 * ci4;
            CH(i - 1, 3, k) = tr2 + tr5;
            CH(ic - 1, 2, k) = tr2 - tr5;
            CH(i, 3, k) = ti2 + ti5;
            CH(ic, 2, k) = ti5 - ti2;
            CH(i - 1, 5, k) = tr3 + tr4;
            CH(ic - 1, 4, k) = tr3 - tr4;
            CH(i, 5, k) = ti3 + ti4;
            CH(ic, 4, k) = ti4 - ti3;
        }
}

#undef CC
#undef CH

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

// Backward passes read cc[ido][ip][l1] and write ch[ido][l1][ip].
#define CC(a, b, c) cc[((a) - 1) + ido * (((b) - 1) + IP * ((c) - 1))]
#define CH(a, b, c) ch[((a) - 1) + ido * (((b) - 1) + l1 * ((c) - 1))]

void radb2(int ido, int l1, const float* cc, float* ch, const float* wa1)
{
    const int IP = 2;
    for (int k = 1; k <= l1; k++) {
        CH(1, k, 1) = CC(1, 1, k) + CC(ido, 2, k);
        CH(1, k, 2) = CC(1, 1, k) - CC(ido, 2, k);
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                CH(i - 1, k, 1) = CC(i - 1, 1, k) + CC(ic - 1, 2, k);
                float tr2 = CC(i - 1, 1, k) - CC(ic - 1, 2, k);
                CH(i, k, 1) = CC(i, 1, k) - CC(ic, 2, k);
                float ti2 = CC(i, 1, k) + CC(ic, 2, k);
                CH(i - 1, k, 2) = wa1[i - 3] * tr2 - wa1[i - 2] * ti2;
                CH(i, k, 2) = wa1[i - 3] * ti2 + wa1[i - 2] * tr2;
            }
        if (ido % 2 == 1)
            return;
    }
    for (int k = 1; k <= l1; k++) {
        CH(ido, k, 1) = CC(ido, 1, k) + CC(ido, 1, k);
        CH(ido, k, 2) = -(CC(1, 2, k) + CC(1, 2, k));
    }
}

void radb3(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2)
{
    const int IP = 3;
    for (int k = 1; k <= l1; k++) {
        float tr2 = CC(ido, 2, k) + CC(ido, 2, k);
        float cr2 = CC(1, 1, k) + taur * tr2;
        CH(1, k, 1) = CC(1, 1, k) + tr2;
        float ci3 = taui * (CC(1, 3, k) + CC(1, 3, k));
        CH(1, k, 2) = cr2 - ci3;
        CH(1, k, 3) = cr2 + ci3;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; k++)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            float tr2 = CC(i - 1, 3, k) + CC(ic - 1, 2, k);
            float cr2 = CC(i - 1, 1, k) + taur * tr2;
            CH(i - 1, k, 1) = CC(i - 1, 1, k) + tr2;
            float ti2 = CC(i, 3, k) - CC(ic, 2, k);
            float ci2 = CC(i, 1, k) + taur * ti2;
            CH(i, k, 1) = CC(i, 1, k) + ti2;
            float cr3 = taui * (CC(i - 1, 3, k) - CC(ic - 1, 2, k));
            float ci3 = taui * (CC(i, 3, k) + CC(ic, 2, k));
            float dr2 = cr2 - ci3;
            float dr3 = cr2 + ci3;
            float di2 = ci2 + cr3;
            float di3 = ci2 - cr3;
            CH(i - 1, k, 2) = wa1[i - 3] * dr2 - wa1[i - 2] * di2;
            CH(i, k, 2) = wa1[i - 3] * di2 + wa1[i - 2] * dr2;
            CH(i - 1, k, 3) = wa2[i - 3] * dr3 - wa2[i - 2] * di3;
            CH(i, k, 3) = wa2[i - 3] * di3 + wa2[i - 2] * dr3;
        }
}

void radb4(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3)
{
    const int IP = 4;
    for (int k = 1; k <= l1; k++) {
        float tr1 = CC(1, 1, k) - CC(ido, 4, k);
        float tr2 = CC(1, 1, k) + CC(ido, 4, k);
        float tr3 = CC(ido, 2, k) + CC(ido, 2, k);
        float tr4 = CC(1, 3, k) + CC(1, 3, k);
        CH(1, k, 1) = tr2 + tr3;
        CH(1, k, 2) = tr1 - tr4;
        CH(1, k, 3) = tr2 - tr3;
        CH(1, k, 4) = tr1 + tr4;
    }
    if (ido < 2)
        return;
    if (ido > 2) {
        const int idp2 = ido + 2;
        for (int k = 1; k <= l1; k++)
            for (int i = 3; i <= ido; i += 2) {
                const int ic = idp2 - i;
                float ti1 = CC(i, 1, k) + CC(ic, 4, k);
                float ti2 = CC(i, 1, k) - CC(ic, 4, k);
                float ti3 = CC(i, 3, k) - CC(ic, 2, k);
                float tr4 = CC(i, 3, k) + CC(ic, 2, k);
                float tr1 = CC(i - 1, 1, k) - CC(ic - 1, 4, k);
                float tr2 = CC(i - 1, 1, k) + CC(ic - 1, 4, k);
                float ti4 = CC(i - 1, 3, k) - CC(ic - 1, 2, k);
                float tr3 = CC(i - 1, 3, k) + CC(ic - 1, 2, k);
                CH(i - 1, k, 1) = tr2 + tr3;
                float cr3 = tr2 - tr3;
                CH(i, k, 1) = ti2 + ti3;
                float ci3 = ti2 - ti3;
                float cr2 = tr1 - tr4;
                float cr4 = tr1 + tr4;
                float ci2 = ti1 + ti4;
                float ci4 = ti1 - ti4;
                CH(i - 1, k, 2) = wa1[i - 3] * cr2 - wa1[i - 2] * ci2;
                CH(i, k, 2) = wa1[i - 3] * ci2 + wa1[i - 2] * cr2;
                CH(i - 1, k, 3) = wa2[i - 3] * cr3 - wa2[i - 2] * ci3;
                CH(i, k, 3) = wa2[i - 3] * ci3 + wa2[i - 2] * cr3;
                CH(i - 1, k, 4) = wa3[i - 3] * cr4 - wa3[i - 2] * ci4;
                CH(i, k, 4) = wa3[i - 3] * ci4 + wa3[i - 2] * cr4;
            }
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

void radb5(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3, const float* wa4)
{
    const int IP = 5;
    for (int k = 1; k <= l1; k++) {
        float ti5 = CC(1, 3, k) + CC(1, 3, k);
        float ti4 = CC(1, 5, k) + CC(1, 5, k);
        float tr2 = CC(ido, 2, k) + CC(ido, 2, k);
        float tr3 = CC(ido, 4, k) + CC(ido, 4, k);
        CH(1, k, 1) = CC(1, 1, k) + tr2 + tr3;
        float cr2 = CC(1, 1, k) + tr11 * tr2 + tr12 * tr3;
        float cr3 = CC(1, 1, k) + tr12 * tr2 + tr11 * tr3;
        float ci5 = ti11 * ti5 + ti12 * ti4;
        float ci4 = ti12 * ti5 - ti11 * ti4;
        CH(1, k, 2) = cr2 - ci5;
        CH(1, k, 3) = cr3 - ci4;
        CH(1, k, 4) = cr3 + ci4;
        CH(1, k, 5) = cr2 + ci5;
    }
    if (ido == 1)
        return;
    const int idp2 = ido + 2;
    for (int k = 1; k <= l1; k++)
        for (int i = 3; i <= ido; i += 2) {
            const int ic = idp2 - i;
            float ti5 = CC(i, 3, k) + CC(ic, 2, k);
            float ti2 = CC(i, 3, k) - CC(ic, 2, k);
            float ti4 = CC(i, 5, k) + CC(ic, 4, k);
            float ti3 = CC(i, 5, k) - CC(ic, 4, k);
            float tr5 = CC(i - 1, 3, k) - CC(ic - 1, 2, k);
            float tr2 = CC(i - 1, 3, k) + CC(ic - 1, 2, k);
            float tr4 = CC(i - 1, 5, k) - CC(ic - 1, 4, k);
            float tr3 = CC(i - 1, 5, k) + CC(ic - 1, 4, k);
            CH(i - 1, k, 1) = CC(i - 1, 1, k) + tr2 + tr3;
            CH(i, k, 1) = CC(i, 1, k) + ti2 + ti3;
            float cr2 = CC(i - 1, 1, k) + tr11 * tr2 + tr12 * tr3;
            float ci2 = CC(i, 1, k) + tr11 * ti2 + tr12 * ti3;
            float cr3 = CC(i - 1, 1, k) + tr12 * tr2 + tr11 * tr3;
            float ci3 = CC(i, 1, k) + tr12 * ti2 + tr11 * ti3;
            float cr5 = ti11 * tr5 + ti12 * tr4;
            float ci5 = ti11 * ti5 + ti12 * ti4;
            float cr4 = ti12 * tr5 - ti11 * tr4;
            float ci4 = ti12 * ti5 - ti11 * ti4;
            float dr3 = cr3 - ci4;
            float dr4 = cr3 + ci4;
            float di3 = ci3 + cr4;
            float di4 = ci3 - cr4;
            float dr5 = cr2 + ci5;
            float dr2 = cr2 - ci5;
            float di5 = ci2 - cr5;
            float di2 = ci2 + cr5;
            CH(i - 1, k, 2) = wa1[i - 3] * dr2 - wa1[i - 2] * di2;
            CH(i, k, 2) = wa1[i - 3] * di2 + wa1[i - 2] * dr2;
            CH(i - 1, k, 3) = wa2[i - 3] * dr3 - wa2[i - 2] * di3;
            CH(i, k, 3) = wa2[i - 3] * di3 + wa2[i - 2] * dr3;
            CH(i - 1, k, 4) = wa3[i - 3] * dr4 - wa3[i - 2] * di4;
            CH(i, k, 4) = wa3[i - 3] * di4 + wa3[i - 2] * dr4;
            CH(i - 1, k, 5) = wa4[i - 3] * dr5 - wa4[i - 2] * di5;
            CH(i, k, 5) = wa4[i - 3] * di5 + wa4[i - 2] * dr5;
        }
}

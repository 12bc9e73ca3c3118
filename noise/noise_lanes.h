// The noise field evaluated for several columns of one row at once, one
// column per vector lane.
//
// Instantiated by noise_field.cpp with the SSE2 lanes and by
// noise_field_avx2.cpp with the AVX2 lanes (noise/lanes_*.h). Every lane runs
// exactly the operations of the scalar simplexNoise and NoiseField::fbm in
// noise_field.cpp, in the same order, so it gives the same bits: the corner
// choice becomes masks and the hashing is shared between lanes where it can
// be, but no arithmetic step is merged, reordered or skipped. The tests hold
// both lane widths equal to the scalar field.
#pragma once

#include <cstdint>

#include "noise/noise_constants.h"
#include "noise/noise_field.h"

namespace {

template <class L>
struct NoiseLanes {
    using F = typename L::F;
    using I = typename L::I;
    static constexpr int kCount = L::kCount;

    static F ones() { return L::asFloat(L::splat(int32_t{-1})); }
    static F notMask(F m) { return L::bitAndNot(ones(), m); }
    // 1.0f where the mask is set, +0.0f elsewhere: the float(i1) of the scalar code.
    static F unitWhere(F m) { return L::bitAnd(m, L::splat(1.0f)); }
    // 1 where the mask is set, 0 elsewhere.
    static I oneWhere(F m) { return L::bitAnd(L::asInt(m), L::splat(int32_t{1})); }

    // latticeFloor: truncation, one lower where the value is not >= 0
    // (negative or NaN), wrapping as the scalar code's unsigned step does.
    static I latticeFloor(F v) {
        const I t = L::truncate(v);
        const F nonNegative = L::greaterEqual(v, L::splat(0.0f));
        return L::select(L::asInt(nonNegative), t, t - L::splat(int32_t{1}));
    }

    // A corner's gradient, one axis per lane vector.
    struct Gradient {
        F x, y, z;
    };
    static Gradient gradientOf(I g) {
        return Gradient{L::gather(kGradX, g), L::gather(kGradY, g), L::gather(kGradZ, g)};
    }

    // cornerContribution of noise_field.cpp.
    static F corner(F a, F b, F c, const Gradient& grad) {
        const F q = ((L::splat(kKernelRadius2) - a * a) - b * b) - c * c;
        const F q2 = q * q;
        const F q4 = q2 * q2;
        const F dot = (b * grad.y + a * grad.x) + c * grad.z;
        return L::bitAndNot(dot * q4, L::less(q, L::splat(0.0f)));
    }

    // perm[base + perm[...]]: one hash step for every lane.
    static I hash(const NoiseField& field, I base, I inner) {
        return L::gather(field.perm, base + inner);
    }

    // The gradient index of one lattice corner, as the scalar code hashes it.
    static int32_t cornerIndex(const NoiseField& field, int32_t ii, int32_t jj, int32_t kk) {
        return field.gradientIndex[ii + field.perm[jj + field.perm[kk]]];
    }

    // di * 4 + dj * 2 + dk for offsets of 0 or 1.
    static I cubeCorner(I di, I dj, I dk) {
        const I twice = (di + di) + dj;
        return (twice + twice) + dk;
    }

    // The gradients of the eight corners of one lattice cell (ii, jj, kk):
    // entry c = di * 4 + dj * 2 + dk is the corner (i + di, j + dj, k + dk).
    // A run of columns stays in one cell for many steps at the low octaves,
    // so each octave keeps the last cell it hashed.
    struct Cell {
        bool known = false;
        int32_t ii = 0, jj = 0, kk = 0;
        alignas(32) float x[8], y[8], z[8];

        void hash(const NoiseField& field, int32_t cellI, int32_t cellJ, int32_t cellK) {
            if (known && ii == cellI && jj == cellJ && kk == cellK) return;
            for (int32_t c = 0; c < 8; ++c) {
                const int32_t g = cornerIndex(field, cellI + (c >> 2), cellJ + ((c >> 1) & 1),
                                              cellK + (c & 1));
                x[c] = kGradX[g];
                y[c] = kGradY[g];
                z[c] = kGradZ[g];
            }
            known = true;
            ii = cellI;
            jj = cellJ;
            kk = cellK;
        }
        Gradient corner(int32_t c) const {
            return Gradient{L::splat(x[c]), L::splat(y[c]), L::splat(z[c])};
        }
        Gradient corner(I c) const {
            return Gradient{L::lookup8(x, c), L::lookup8(y, c), L::lookup8(z, c)};
        }
    };

    // The gradients of the four simplex corners of every lane: cell (i, j, k),
    // second corner offset (i1, j1, k1), third (i2, j2, k2), each offset 0 or
    // 1; the first corner has offset 0 and the last offset 1 on every axis.
    //
    // Neighbouring columns nearly always share their lattice cell at the
    // low octaves. Then that cube's eight corners are hashed once (or taken
    // from `cell`, which holds the octave's last cube) and each lane picks
    // its corners' gradients from them; otherwise every lane hashes its own.
    // Both give each lane the gradient the scalar hash gives it.
    [[gnu::always_inline]] static void cornerGradients(const NoiseField& field, Cell* cell, I i,
                                                       I j, I k, I i1, I j1, I k1, I i2, I j2,
                                                       I k2, Gradient grad[4]) {
        if (L::uniform(i, j, k)) {
            cell->hash(field, L::firstLane(i) & 255, L::firstLane(j) & 255,
                       L::firstLane(k) & 255);
            const I second = cubeCorner(i1, j1, k1);
            const I third = cubeCorner(i2, j2, k2);
            grad[0] = cell->corner(0);
            if (L::uniform(second, third, third)) {
                // One simplex for every lane.
                grad[1] = cell->corner(L::firstLane(second));
                grad[2] = cell->corner(L::firstLane(third));
            } else {
                grad[1] = cell->corner(second);
                grad[2] = cell->corner(third);
            }
            grad[3] = cell->corner(7);
            return;
        }
        const I byteMask = L::splat(int32_t{255});
        const I unit = L::splat(int32_t{1});
        const I ii = L::bitAnd(i, byteMask);
        const I jj = L::bitAnd(j, byteMask);
        const I kk = L::bitAnd(k, byteMask);
        grad[0] = gradientOf(
            L::gather(field.gradientIndex, ii + hash(field, jj, L::gather(field.perm, kk))));
        grad[1] = gradientOf(L::gather(
            field.gradientIndex, (ii + i1) + hash(field, jj + j1, L::gather(field.perm, kk + k1))));
        grad[2] = gradientOf(L::gather(
            field.gradientIndex, (ii + i2) + hash(field, jj + j2, L::gather(field.perm, kk + k2))));
        grad[3] = gradientOf(L::gather(field.gradientIndex,
                                       (ii + unit) + hash(field, jj + unit,
                                                          L::gather(field.perm, kk + unit))));
    }

    // simplexNoise of noise_field.cpp.
    static F simplex(const NoiseField& field, Cell* cell, F X, F Y, F Z) {
        const F s = ((X + Y) + Z) * L::splat(kSkew);
        const I i = latticeFloor(X + s);
        const I j = latticeFloor(Y + s);
        const I k = latticeFloor(Z + s);
        const F t = L::toFloat((i + j) + k) * L::splat(kUnskew);
        const F x0 = (X - L::toFloat(i)) + t;
        const F y0 = (Y - L::toFloat(j)) + t;
        const F z0 = (Z - L::toFloat(k)) + t;

        // The scalar code's branches on the corner order, as masks. Each
        // comparison is the one the scalar code makes, so NaN lanes take the
        // same branch.
        const F xy = L::greaterEqual(x0, y0);
        const F yzAtLeast = L::greaterEqual(y0, z0);
        const F xzAtLeast = L::greaterEqual(x0, z0);
        const F yzBelow = L::less(y0, z0);
        const F xzBelow = L::less(x0, z0);
        const F firstAtLeastThird = L::bitOr(yzAtLeast, xzAtLeast);
        const F firstBelowThird = L::bitOr(yzBelow, xzBelow);
        const F zero = L::splat(0.0f);
        const F i1 = L::select(xy, firstAtLeastThird, zero);
        const F j1 = L::select(xy, zero, notMask(yzBelow));
        const F k1 = L::select(xy, notMask(firstAtLeastThird), yzBelow);
        const F i2 = L::select(xy, ones(), notMask(firstBelowThird));
        const F j2 = L::select(xy, yzAtLeast, ones());
        const F k2 = L::select(xy, notMask(yzAtLeast), firstBelowThird);

        const F g1 = L::splat(kUnskew);
        const F g2 = L::splat(kUnskew2);
        const F g3 = L::splat(kUnskew3);
        const F one = L::splat(1.0f);
        const F x1 = (x0 - unitWhere(i1)) + g1;
        const F y1 = (y0 - unitWhere(j1)) + g1;
        const F z1 = (z0 - unitWhere(k1)) + g1;
        const F x2 = (x0 - unitWhere(i2)) + g2;
        const F y2 = (y0 - unitWhere(j2)) + g2;
        const F z2 = (z0 - unitWhere(k2)) + g2;
        const F x3 = (x0 - one) + g3;
        const F y3 = (y0 - one) + g3;
        const F z3 = (z0 - one) + g3;

        Gradient grad[4];
        cornerGradients(field, cell, i, j, k, oneWhere(i1), oneWhere(j1), oneWhere(k1),
                        oneWhere(i2), oneWhere(j2), oneWhere(k2), grad);

        const F w0 = corner(x0, y0, z0, grad[0]);
        const F w1 = corner(x1, y1, z1, grad[1]);
        const F w2 = corner(x2, y2, z2, grad[2]);
        const F w3 = corner(x3, y3, z3, grad[3]);
        return ((w1 + w0) + w2) + w3;
    }

    // Octaves that keep a cell of their own; the higher ones share the last.
    static constexpr int32_t kKeptCells = 8;

    // NoiseField::fbm for the columns in `columns` of row y; cells[o] holds
    // octave o's last lattice cell.
    static F fbm(const NoiseField& field, I columns, int32_t y, float z, Cell cells[kKeptCells]) {
        if (!(field.octaves > 0.0f)) {
            return L::splat(kOutputOffset);
        }
        const float row = static_cast<float>(y);
        const F column = L::toFloat(columns);
        float f = field.baseFrequency;
        float amp = 1.0f;
        F total = L::splat(0.0f);
        int64_t o = 0;
        do {
            Cell* cell = &cells[o < kKeptCells ? o : kKeptCells - 1];
            total = total + simplex(field, cell, L::splat(row * f), column * L::splat(f),
                                    L::splat(f * z)) * L::splat(amp);
            f = f * field.lacunarity;
            amp = amp * field.gain;
            o = o + 1;
        } while (static_cast<float>(o) < field.octaves);
        return (total * L::splat(8.0f)) * L::splat(2.0f) + L::splat(kOutputOffset);
    }

    // NoiseField::sampleSpan's knees and limits applied to fbm values.
    static F span(F noise, float extent) {
        const float lo = extent * kSpanLowKnee;
        const float hi = extent * kSpanHighKnee;
        const F fifth = L::splat(0.2f);
        F v = noise * L::splat(extent);
        v = L::select(L::greater(v, L::splat(hi)), v * fifth + L::splat(hi * 0.8f), v);
        v = L::select(L::less(v, L::splat(lo)), v * fifth + L::splat(lo * 0.8f), v);
        v = L::select(L::less(v, L::splat(extent)), v, L::splat(extent - 1.0f));
        v = L::select(L::less(v, L::splat(0.0f)), L::splat(0.0f), v);
        return v;
    }

    // Runs `batch` (lane values for columns first .. first + kCount - 1) over
    // count columns from x0, storing into out; a partial last batch goes
    // through a local buffer. Columns wrap as 32-bit adds do.
    template <typename Batch>
    static void forColumns(int32_t x0, int32_t count, float* out, Batch batch) {
        int32_t n = 0;
        for (; n + kCount <= count; n += kCount) {
            L::store(out + n, batch(L::ramp(wrap(x0, n))));
        }
        if (n < count) {
            float tail[kCount];
            L::store(tail, batch(L::ramp(wrap(x0, n))));
            for (int32_t m = 0; n + m < count; ++m) {
                out[n + m] = tail[m];
            }
        }
    }

    static int32_t wrap(int32_t a, int32_t b) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    }

    static void fbmRow(const NoiseField& field, int32_t x0, int32_t y, float z, int32_t count,
                       float* out) {
        Cell cells[kKeptCells];
        forColumns(x0, count, out, [&](I columns) { return fbm(field, columns, y, z, cells); });
    }

    static void sampleSpanRow(const NoiseField& field, int32_t x0, int32_t y, float extent,
                              float k, int32_t count, float* out) {
        const float z = k * field.zTime;
        Cell cells[kKeptCells];
        forColumns(x0, count, out,
                   [&](I columns) { return span(fbm(field, columns, y, z, cells), extent); });
    }
};

}  // namespace

// Deterministic arithmetic for the fly core: a seeded generator and the trigonometry the
// simulation and the rasteriser need, built only from +, -, *, / and comparisons. The
// C library's sin/cos/atan2 may round differently from one libm to the next, which would
// let the same seed grow different flies on different compilers; sqrt is exactly rounded
// by IEEE 754 and is used as it is.
#pragma once

#include <cmath>
#include <cstdint>

namespace gnatter {
namespace fm {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kHalfPi = 0.5 * kPi;
constexpr double kLn2 = 0.693147180559945309417;

// splitmix64: tiny, fast, well mixed, and its output is the same everywhere.
struct Rng {
    std::uint64_t state = 0;

    explicit Rng(std::uint64_t seed = 0) : state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // [0, 1) with 53 random bits.
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
    bool chance(double p) { return unit() < p; }
};

// One-off mixing of a value into a well-spread 64-bit word (the splitmix finaliser).
inline std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Angle in [0, 2*pi).
inline double wrapAngle(double a) {
    a -= kTwoPi * std::floor(a / kTwoPi);
    return (a >= kTwoPi || a < 0.0) ? 0.0 : a;
}

// Signed difference to - from, in (-pi, pi].
inline double angleDiff(double to, double from) {
    double d = wrapAngle(to - from);
    return d > kPi ? d - kTwoPi : d;
}

// Taylor series to x^11 on [-pi/2, pi/2]: error below 6e-8, far finer than a pixel.
inline double sin(double x) {
    x = wrapAngle(x);
    if (x > kPi) x -= kTwoPi;  // now in (-pi, pi]
    if (x > kHalfPi) x = kPi - x;
    else if (x < -kHalfPi) x = -kPi - x;
    const double x2 = x * x;
    return x * (1.0 + x2 * (-1.0 / 6 + x2 * (1.0 / 120 + x2 * (-1.0 / 5040 +
               x2 * (1.0 / 362880 + x2 * (-1.0 / 39916800))))));
}

inline double cos(double x) { return sin(x + kHalfPi); }

// Polynomial arctangent, error about 1e-5 radians; the result is in [0, 2*pi) to match
// FlyView::heading, and 0 for the zero vector.
inline double atan2(double y, double x) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    if (ax == 0.0 && ay == 0.0) return 0.0;
    const double a = (ax > ay) ? ay / ax : ax / ay;
    const double s = a * a;
    double r = a * (0.9998660 + s * (-0.3302995 + s * (0.1801410 + s * (-0.0851330 + s * 0.0208351))));
    if (ay > ax) r = kHalfPi - r;
    if (x < 0.0) r = kPi - r;
    if (y < 0.0) r = -r;
    return wrapAngle(r);
}

// e^x for |x| below about 700: range reduction by ln 2 (ldexp is exact), then a Taylor
// series to x^13 on [-0.35, 0.35], relative error below 1e-15.
inline double exp(double x) {
    const double k = std::floor(x / kLn2 + 0.5);
    const double r = x - k * kLn2;
    double term = 1.0, sum = 1.0;
    for (int i = 1; i <= 13; ++i) {
        term = term * r / i;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

// Natural logarithm of x > 0 (0 for x <= 0): frexp (exact) and the atanh series.
inline double log(double x) {
    if (!(x > 0.0)) return 0.0;
    int e = 0;
    double m = std::frexp(x, &e);  // m in [0.5, 1)
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
    double power = s, sum = 0.0;
    for (int i = 1; i <= 23; i += 2) {
        sum += power / i;
        power *= s2;
    }
    return e * kLn2 + 2.0 * sum;
}

// A standard normal draw from twelve uniforms (Irwin-Hall): enough for behaviour
// timings, and made only of additions.
inline double normal(Rng& rng) {
    double sum = -6.0;
    for (int i = 0; i < 12; ++i) sum += rng.unit();
    return sum;
}

}  // namespace fm
}  // namespace gnatter

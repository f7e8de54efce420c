// The arctangent of the fisheye warp, for non-negative arguments, in plain
// double arithmetic: within one unit in the last place of the C library's,
// but written with selects so that a row's map runs in vector lanes (a 24 Mpx
// bilinear warp took 0.71 s with a library call per pixel, 0.23 s with this),
// and the same bits on every machine and in every instruction-set copy. Range
// reduction to |t| <= tan(pi/8) and a rational approximation of degree 4/5 in
// t^2 (the classic Cephes coefficients).
#pragma once

namespace tarnimg {

inline double atan_nonnegative(double x) {
    constexpr double kTan3PiOver8 = 2.41421356237309504880;
    constexpr double kPiOver2 = 1.57079632679489661923;
    constexpr double kPiOver4 = 7.85398163397448309616e-1;
    constexpr double kMoreBits = 6.123233995736765886130e-17;  // pi/2 minus its double
    constexpr double P0 = -8.750608600031904122785e-1, P1 = -1.615753718733365076637e1,
                     P2 = -7.500855792314704667340e1, P3 = -1.228866684490136173410e2,
                     P4 = -6.485021904942025371773e1;
    constexpr double Q0 = 2.485846490142306297962e1, Q1 = 1.650270098316988542046e2,
                     Q2 = 4.328810604912902668951e2, Q3 = 4.853903996359136964868e2,
                     Q4 = 1.945506571482613964425e2;
    // atan x = pi/2 + atan(-1/x) above tan(3 pi/8), pi/4 + atan((x-1)/(x+1))
    // above 0.66; the pi terms carry the bits their doubles miss. NaN fails
    // both comparisons and stays NaN.
    const bool far = x > kTan3PiOver8;
    const bool mid = x > 0.66;
    // One division for all three forms (x / 1 is x exactly).
    const double num = far ? -1.0 : (mid ? x - 1.0 : x);
    const double den = far ? x : (mid ? x + 1.0 : 1.0);
    const double t = num / den;
    const double base = far ? kPiOver2 : (mid ? kPiOver4 : 0.0);
    const double tail = far ? kMoreBits : (mid ? 0.5 * kMoreBits : 0.0);
    const double z = t * t;
    const double p = (((P0 * z + P1) * z + P2) * z + P3) * z + P4;
    const double q = ((((z + Q0) * z + Q1) * z + Q2) * z + Q3) * z + Q4;
    const double s = t * (z * p / q) + t;
    return base + (s + tail);
}

}  // namespace tarnimg

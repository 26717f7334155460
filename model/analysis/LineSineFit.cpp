#include "model/analysis/LineSineFit.h"

#include "model/analysis/LinearSolve.h"
#include "model/analysis/Oscillator.h"

#include <algorithm>
#include <numbers>

bool fitLineAndSine(const double* y, uint32_t m, double frequency, LineSineFit& fit) {
    if (y == nullptr || m < 4)
        return false;
    const double mid = 0.5 * (static_cast<double>(m) - 1.0);
    const double span = std::max(mid, 1.0); // u = (i - mid) / span lies in [-1, 1]
    double su = 0, suu = 0, sc = 0, ss = 0, suc = 0, sus = 0, scc = 0, scs = 0, sss = 0;
    double sy = 0, suy = 0, syc = 0, sys = 0;
    Oscillator osc(2.0 * std::numbers::pi * frequency, 0.0);
    for (uint32_t i = 0; i < m; ++i, osc.next()) {
        const double u = (static_cast<double>(i) - mid) / span;
        const double c = osc.c();
        const double s = osc.s();
        su += u;
        suu += u * u;
        sc += c;
        ss += s;
        suc += u * c;
        sus += u * s;
        scc += c * c;
        scs += c * s;
        sss += s * s;
        sy += y[i];
        suy += u * y[i];
        syc += y[i] * c;
        sys += y[i] * s;
    }
    const double dm = static_cast<double>(m);
    double a[16] = {dm, su, sc, ss, su, suu, suc, sus, sc, suc, scc, scs, ss, sus, scs, sss};
    const double rhs[4] = {sy, suy, syc, sys};
    double b[4] = {sy, suy, syc, sys};
    double x[4] = {0, 0, 0, 0};
    if (!solveLinearSystem(a, b, x, 4, 1e-9 * dm))
        return false;
    fit.offset = x[0];
    fit.slope = x[1] / span;
    fit.cosine = x[2];
    fit.sine = x[3];
    fit.energy = x[0] * rhs[0] + x[1] * rhs[1] + x[2] * rhs[2] + x[3] * rhs[3];
    return true;
}

#include "model/analysis/LinearSolve.h"

#include <cmath>
#include <utility>

bool solveLinearSystem(double* a, double* b, double* x, int n, double tiny) {
    if (n <= 0 || n > kMaxLinearUnknowns)
        return false;
    auto at = [a, n](int row, int col) -> double& { return a[row * n + col]; };
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int row = col + 1; row < n; ++row) {
            if (std::fabs(at(row, col)) > std::fabs(at(pivot, col)))
                pivot = row;
        }
        if (!(std::fabs(at(pivot, col)) > tiny))
            return false;
        if (pivot != col) {
            for (int k = 0; k < n; ++k)
                std::swap(at(pivot, k), at(col, k));
            std::swap(b[pivot], b[col]);
        }
        for (int row = col + 1; row < n; ++row) {
            const double f = at(row, col) / at(col, col);
            for (int k = col; k < n; ++k)
                at(row, k) -= f * at(col, k);
            b[row] -= f * b[col];
        }
    }
    for (int row = n - 1; row >= 0; --row) {
        double v = b[row];
        for (int k = row + 1; k < n; ++k)
            v -= at(row, k) * x[k];
        x[row] = v / at(row, row);
    }
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]))
            return false;
    }
    return true;
}

#pragma once

// Solves the n x n system a x = b (a row-major, n <= kMaxLinearUnknowns) by Gaussian elimination with
// partial pivoting. a and b are overwritten. Returns false when a pivot is not larger than tiny in
// magnitude (the system is singular or nearly so) or the solution is not finite.
inline constexpr int kMaxLinearUnknowns = 16;
bool solveLinearSystem(double* a, double* b, double* x, int n, double tiny);

#include "exposure/normal_equations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {
// Gaussian elimination with partial pivoting on the full matrix: slow and plain.
std::vector<double> eliminate(std::vector<std::vector<double>> a, std::vector<double> b) {
  const size_t n = b.size();
  for (size_t c = 0; c < n; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < n; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    std::swap(a[c], a[p]);
    std::swap(b[c], b[p]);
    for (size_t r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (size_t k = c; k < n; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (size_t i = n; i-- > 0;) {
    double s = b[i];
    for (size_t k = i + 1; k < n; ++k) s -= a[i][k] * x[k];
    x[i] = s / a[i][i];
  }
  return x;
}
}  // namespace

TEST(NormalEquations, SolvesSparseRowsLikeAPlainElimination) {
  // Rows that couple only nearby unknowns, plus a few that reach back to the first ones,
  // so that the rows' leading zeros differ.
  const int32_t n = 12;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  struct sparse_row {
    std::vector<int32_t> index;
    std::vector<double> coefficient;
    double value, weight;
    bool difference = false;  // given through add_difference
  };
  std::vector<sparse_row> rows;
  for (int32_t i = 0; i + 2 < n; ++i) rows.push_back({{i, i + 2, i + 1}, {u(rng), u(rng), u(rng)}, u(rng), 1.0 + i});
  rows.push_back({{0, n - 1}, {1.0, -1.0}, 0.3, 2.0});
  rows.push_back({{3, 3}, {0.5, 0.5}, -0.2, 1.0});  // a repeated index counts once with the summed coefficient
  rows.push_back({{2, 7}, {1.0, -1.0}, 0.0, 0.5});  // what add_difference(2, 7, 0.5) adds
  std::vector<int32_t> first(n);
  for (int32_t i = 0; i < n; ++i) first[i] = i;
  for (const sparse_row& r : rows)
    for (const int32_t i : r.index) first[i] = std::min(first[i], *std::min_element(r.index.begin(), r.index.end()));

  normal_equations eq(first, 1);
  std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
  std::vector<double> b(n, 0.0);
  for (const sparse_row& r : rows) {
    if (r.difference)
      eq.add_difference(r.index[0], r.index[1], r.weight);
    else
      eq.add_row(r.index, r.coefficient, std::vector<double>{r.value}, r.weight);
    for (size_t p = 0; p < r.index.size(); ++p) {
      b[r.index[p]] += r.weight * r.coefficient[p] * r.value;
      for (size_t q = 0; q < r.index.size(); ++q)
        a[r.index[p]][r.index[q]] += r.weight * r.coefficient[p] * r.coefficient[q];
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    eq.add_ridge(i, 0.01);
    a[i][i] += 0.01;
  }
  const std::vector<double> x = eq.solve()[0], reference = eliminate(a, b);
  for (int32_t i = 0; i < n; ++i) EXPECT_NEAR(x[i], reference[i], 1e-9) << i;
}

TEST(NormalEquations, RefusesASingularSystem) {
  normal_equations eq({0, 0}, 1);
  eq.add_row(std::vector<int32_t>{0, 1}, std::vector<double>{1.0, -1.0}, std::vector<double>{1.0}, 1.0);
  EXPECT_THROW(eq.solve(), std::runtime_error);
}

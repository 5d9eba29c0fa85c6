// The normal equations of a weighted linear least-squares problem with sparse rows and
// several right-hand sides (one per colour channel), accumulated in the order the rows are
// added and solved by one Cholesky factorisation.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class normal_equations {
 public:
  normal_equations(int32_t unknowns, int32_t sides);

  int32_t unknowns() const { return n_; }
  // Adds weight * (sum coefficient[k] x_s[index[k]] - value[s])^2 for every side s; an
  // index may repeat.
  void add_row(std::span<const int32_t> index, std::span<const double> coefficient, std::span<const double> value,
               double weight);
  // Adds weight * x[i]^2.
  void add_ridge(int32_t i, double weight) { at(i, i) += weight; }
  // Adds weight * (x[i] - x[j])^2.
  void add_difference(int32_t i, int32_t j, double weight);
  double diagonal(int32_t i) const { return a_[index(i, i)]; }

  // The minimiser x_s of every side. Throws std::runtime_error when the system is not
  // positive definite.
  std::vector<std::vector<double>> solve() const;

 private:
  size_t index(int32_t i, int32_t j) const { return static_cast<size_t>(i) * n_ + j; }
  // Lower triangle: row >= column.
  double& at(int32_t i, int32_t j) { return i >= j ? a_[index(i, j)] : a_[index(j, i)]; }

  int32_t n_;
  int32_t sides_;
  std::vector<double> a_;  // n x n, only the lower triangle is kept up to date
  std::vector<double> b_;  // n x sides
};

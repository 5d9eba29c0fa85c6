// The normal equations of a weighted linear least-squares problem with sparse rows and
// several right-hand sides (one per colour channel), accumulated in the order the rows are
// added and solved by one Cholesky factorisation. Only each row's envelope is stored (from
// its first possibly non-zero column to the diagonal), which the factor fills and never
// leaves: inputs listed row by row in a large grid keep the equations banded.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class normal_equations {
 public:
  // first[i] <= i: the lowest unknown that any row, ridge or difference will ever pair
  // with unknown i.
  normal_equations(std::vector<int32_t> first, int32_t sides);

  int32_t unknowns() const { return static_cast<int32_t>(first_.size()); }
  // Adds weight * (sum coefficient[k] x_s[index[k]] - value[s])^2 for every side s; an
  // index may repeat.
  void add_row(std::span<const int32_t> index, std::span<const double> coefficient, std::span<const double> value,
               double weight);
  // Adds weight * x[i]^2.
  void add_ridge(int32_t i, double weight) { at(i, i) += weight; }
  // Adds weight * (x[i] - x[j])^2.
  void add_difference(int32_t i, int32_t j, double weight);
  double diagonal(int32_t i) const { return a_[start_[i] + (i - first_[i])]; }

  // The minimiser x_s of every side. Throws std::runtime_error when the system is not
  // positive definite.
  std::vector<std::vector<double>> solve() const;

 private:
  // Element (i, j), j <= i, of the lower triangle; j must lie in row i's envelope.
  double& at(int32_t i, int32_t j) {
    if (i < j) return at(j, i);
    return a_[start_[i] + (j - first_[i])];
  }

  std::vector<int32_t> first_;
  std::vector<size_t> start_;  // where each row's envelope begins in a_
  int32_t sides_;
  std::vector<double> a_;
  std::vector<double> b_;  // unknowns x sides
};

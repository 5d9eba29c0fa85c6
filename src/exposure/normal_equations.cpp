#include "exposure/normal_equations.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

normal_equations::normal_equations(int32_t unknowns, int32_t sides)
    : n_(unknowns),
      sides_(sides),
      a_(static_cast<size_t>(unknowns) * unknowns, 0.0),
      b_(static_cast<size_t>(unknowns) * sides, 0.0) {}

void normal_equations::add_row(std::span<const int32_t> index, std::span<const double> coefficient,
                               std::span<const double> value, double weight) {
  for (size_t p = 0; p < index.size(); ++p) {
    const double wp = weight * coefficient[p];
    for (int32_t s = 0; s < sides_; ++s) b_[static_cast<size_t>(index[p]) * sides_ + s] += wp * value[s];
    for (size_t q = 0; q < index.size(); ++q)
      if (index[p] >= index[q]) a_[this->index(index[p], index[q])] += wp * coefficient[q];
  }
}

void normal_equations::add_difference(int32_t i, int32_t j, double weight) {
  at(i, i) += weight;
  at(j, j) += weight;
  at(i, j) -= weight;
}

std::vector<std::vector<double>> normal_equations::solve() const {
  // L L^T = A, row by row; each row's leading zeros (inputs that share no overlap with the
  // earlier ones) stay zero in L and are skipped.
  std::vector<double> l(a_.size(), 0.0);
  std::vector<int32_t> first(n_, 0);
  for (int32_t i = 0; i < n_; ++i) {
    int32_t f = 0;
    while (f < i && a_[index(i, f)] == 0.0) ++f;
    first[i] = f;
    for (int32_t j = f; j <= i; ++j) {
      double s = a_[index(i, j)];
      for (int32_t k = std::max(f, first[j]); k < j; ++k) s -= l[index(i, k)] * l[index(j, k)];
      if (j < i) {
        l[index(i, j)] = s / l[index(j, j)];
      } else {
        if (!(s > 0.0)) throw std::runtime_error("Exposure estimate: the equations have no unique solution");
        l[index(i, i)] = std::sqrt(s);
      }
    }
  }
  std::vector<std::vector<double>> solutions;
  for (int32_t s = 0; s < sides_; ++s) {
    std::vector<double> x(n_);
    for (int32_t i = 0; i < n_; ++i) x[i] = b_[static_cast<size_t>(i) * sides_ + s];
    for (int32_t i = 0; i < n_; ++i) {
      for (int32_t k = first[i]; k < i; ++k) x[i] -= l[index(i, k)] * x[k];
      x[i] /= l[index(i, i)];
    }
    for (int32_t i = n_ - 1; i >= 0; --i) {
      x[i] /= l[index(i, i)];
      for (int32_t k = first[i]; k < i; ++k) x[k] -= l[index(i, k)] * x[i];
    }
    solutions.push_back(std::move(x));
  }
  return solutions;
}

#include "exposure/normal_equations.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

normal_equations::normal_equations(std::vector<int32_t> first, int32_t sides)
    : first_(std::move(first)), sides_(sides) {
  size_t size = 0;
  for (size_t i = 0; i < first_.size(); ++i) {
    start_.push_back(size);
    size += i - first_[i] + 1;
  }
  a_.assign(size, 0.0);
  b_.assign(first_.size() * sides, 0.0);
}

void normal_equations::add_row(std::span<const int32_t> index, std::span<const double> coefficient,
                               std::span<const double> value, double weight) {
  for (size_t p = 0; p < index.size(); ++p) {
    const double wp = weight * coefficient[p];
    for (int32_t s = 0; s < sides_; ++s) b_[static_cast<size_t>(index[p]) * sides_ + s] += wp * value[s];
    for (size_t q = 0; q < index.size(); ++q)
      if (index[p] >= index[q]) at(index[p], index[q]) += wp * coefficient[q];
  }
}

void normal_equations::add_difference(int32_t i, int32_t j, double weight) {
  at(i, i) += weight;
  at(j, j) += weight;
  at(i, j) -= weight;
}

std::vector<std::vector<double>> normal_equations::solve() const {
  // L L^T = A row by row, within the envelope; a row's leading zeros are skipped too.
  const int32_t n = unknowns();
  std::vector<double> l(a_.size(), 0.0);
  std::vector<int32_t> first(first_);
  auto element = [&](int32_t i, int32_t j) -> double& { return l[start_[i] + (j - first_[i])]; };
  for (int32_t i = 0; i < n; ++i) {
    while (first[i] < i && a_[start_[i] + (first[i] - first_[i])] == 0.0) ++first[i];
    for (int32_t j = first[i]; j <= i; ++j) {
      double s = a_[start_[i] + (j - first_[i])];
      for (int32_t k = std::max(first[i], first[j]); k < j; ++k) s -= element(i, k) * element(j, k);
      if (j < i) {
        element(i, j) = s / element(j, j);
      } else {
        if (!(s > 0.0)) throw std::runtime_error("Exposure estimate: the equations have no unique solution");
        element(i, i) = std::sqrt(s);
      }
    }
  }
  std::vector<std::vector<double>> solutions;
  for (int32_t s = 0; s < sides_; ++s) {
    std::vector<double> x(n);
    for (int32_t i = 0; i < n; ++i) x[i] = b_[static_cast<size_t>(i) * sides_ + s];
    for (int32_t i = 0; i < n; ++i) {
      for (int32_t k = first[i]; k < i; ++k) x[i] -= element(i, k) * x[k];
      x[i] /= element(i, i);
    }
    for (int32_t i = n - 1; i >= 0; --i) {
      x[i] /= element(i, i);
      for (int32_t k = first[i]; k < i; ++k) x[k] -= element(i, k) * x[i];
    }
    solutions.push_back(std::move(x));
  }
  return solutions;
}

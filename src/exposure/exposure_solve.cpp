#include "exposure/exposure_solve.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "exposure/normal_equations.h"

namespace {
// Ridge per unknown, as a share of the mean data weight per node (plus one, for problems
// without data): weak enough to leave a chain of 64 inputs' differences within 0.1 %,
// strong enough to fix the overall level and the inputs that overlap nothing.
constexpr double prior_share = 1e-6;
// Smoothness between neighbouring nodes of one input, as a share of the input's mean data
// weight per node: nodes without data follow their neighbours, nodes with data their data.
constexpr double smooth_share = 0.1;
constexpr int fit_rounds = 4;
// Cauchy weights 1 / (1 + (e / (c s))^2), s the robust spread of the residuals.
constexpr double cauchy_c = 2.385;

struct unknowns {
  std::vector<node_grid> grids;
  std::vector<int32_t> first;  // each input's first node
  int32_t falloff_first = 0;
  int32_t falloff_count = 0;
  int32_t count = 0;
};

unknowns lay_out(std::span<const input_size> sizes, int32_t nodes_across, bool falloff) {
  unknowns u;
  for (const input_size& s : sizes) {
    node_grid g;
    g.columns = g.rows = nodes_across;
    g.width = s.width;
    g.height = s.height;
    u.first.push_back(u.count);
    u.count += g.nodes();
    u.grids.push_back(g);
  }
  u.falloff_first = u.count;
  u.falloff_count = falloff ? falloff_terms : 0;
  u.count += u.falloff_count;
  return u;
}

// Every comparison's row of the linear system, built once per fit: the nodes around the
// cell in both inputs (bilinear weights, negative for the second) and the falloff terms.
struct design {
  std::vector<int32_t> index;
  std::vector<double> coefficient;
  std::vector<size_t> start;  // row k is [start[k], start[k + 1])

  size_t rows() const { return start.size() - 1; }
  double evaluate(size_t k, const std::vector<double>& x) const {
    double s = 0.0;
    for (size_t e = start[k]; e < start[k + 1]; ++e) s += coefficient[e] * x[index[e]];
    return s;
  }
};

design build_design(const unknowns& u, std::span<const input_size> sizes,
                    std::span<const cell_comparison> comparisons) {
  design d;
  d.start.push_back(0);
  int32_t index[4];
  double weight[4];
  for (const cell_comparison& c : comparisons) {
    int n = u.grids[c.first].corners(c.first_x, c.first_y, index, weight);
    for (int k = 0; k < n; ++k) d.index.push_back(u.first[c.first] + index[k]), d.coefficient.push_back(weight[k]);
    n = u.grids[c.second].corners(c.second_x, c.second_y, index, weight);
    for (int k = 0; k < n; ++k) d.index.push_back(u.first[c.second] + index[k]), d.coefficient.push_back(-weight[k]);
    if (u.falloff_count > 0) {
      const double r1 = radius_squared(c.first_x, c.first_y, sizes[c.first].width, sizes[c.first].height);
      const double r2 = radius_squared(c.second_x, c.second_y, sizes[c.second].width, sizes[c.second].height);
      double p1 = r1, p2 = r2;
      for (int k = 0; k < u.falloff_count; ++k, p1 *= r1, p2 *= r2)
        d.index.push_back(u.falloff_first + k), d.coefficient.push_back(p1 - p2);
    }
    d.start.push_back(d.index.size());
  }
  return d;
}

// The lowest unknown each unknown is ever paired with: by a comparison's row, or by the
// smoothness between the nodes of one input.
std::vector<int32_t> envelope(const unknowns& u, const design& d) {
  std::vector<int32_t> first(u.count);
  for (int32_t k = 0; k < u.count; ++k) first[k] = k;
  for (size_t i = 0; i < u.grids.size(); ++i)
    for (int32_t n = 0; n < u.grids[i].nodes(); ++n) first[u.first[i] + n] = u.first[i];
  for (size_t k = 0; k < d.rows(); ++k) {
    const int32_t low = *std::min_element(&d.index[d.start[k]], &d.index[0] + d.start[k + 1]);
    for (size_t e = d.start[k]; e < d.start[k + 1]; ++e) first[d.index[e]] = std::min(first[d.index[e]], low);
  }
  return first;
}

void add_priors(const unknowns& u, normal_equations& eq) {
  double all_data = 0.0;
  for (size_t i = 0; i < u.grids.size(); ++i) {
    const node_grid& g = u.grids[i];
    double data = 0.0;
    for (int32_t n = 0; n < g.nodes(); ++n) data += eq.diagonal(u.first[i] + n);
    all_data += data;
    const double smooth = smooth_share * data / g.nodes() + prior_share;
    for (int32_t v = 0; v < g.rows; ++v)
      for (int32_t h = 0; h < g.columns; ++h) {
        const int32_t n = u.first[i] + v * g.columns + h;
        if (h + 1 < g.columns) eq.add_difference(n, n + 1, smooth);
        if (v + 1 < g.rows) eq.add_difference(n, n + g.columns, smooth);
      }
  }
  // The same pull on every node, so that the mean log exposure of each group of connected
  // inputs comes out 0 however much data each input has.
  const double ridge = prior_share * (all_data / std::max(u.falloff_first, 1) + 1.0);
  for (int32_t k = 0; k < u.falloff_first; ++k) eq.add_ridge(k, ridge);
  for (int32_t k = u.falloff_first; k < u.count; ++k) eq.add_ridge(k, prior_share * (eq.diagonal(k) + 1.0));
}

double median(std::vector<double>& v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Cauchy weights from the residuals and their robust spread: 1.4826 * median |e| is the
// standard deviation for Gaussian residuals; the floor keeps noise-free synthetic data
// from weighting by rounding errors.
void reweight(const std::vector<double>& residual, std::vector<double>& weight) {
  std::vector<double> spread(residual);
  const double s = std::max(1.4826 * median(spread), 1e-4) * cauchy_c;
  for (size_t k = 0; k < residual.size(); ++k) weight[k] = 1.0 / (1.0 + (residual[k] / s) * (residual[k] / s));
}

// Fits values[k * sides + s] ~ row k for each side s (a colour channel, or their mean),
// with one weight per comparison from the root mean square of its residuals over the
// sides: a thing that moved spoils every channel of its cells. The first weights come from
// each pair's median, since a plain first fit would be pulled far enough by a large moving
// thing to hide it among the residuals.
std::vector<std::vector<double>> robust_fit(const unknowns& u, const design& d,
                                            std::span<const cell_comparison> comparisons,
                                            const std::vector<double>& values, int sides) {
  const size_t m = d.rows();
  std::vector<double> weight(m, 1.0), residual(m, 0.0);
  std::vector<std::vector<double>> x;
  for (size_t a = 0, b = 0; a < m; a = b) {
    while (b < m && comparisons[b].first == comparisons[a].first && comparisons[b].second == comparisons[a].second) ++b;
    for (int s = 0; s < sides; ++s) {
      std::vector<double> pair;
      for (size_t k = a; k < b; ++k) pair.push_back(values[k * sides + s]);
      const double centre = median(pair);
      for (size_t k = a; k < b; ++k) {
        const double e = values[k * sides + s] - centre;
        residual[k] += e * e / sides;
      }
    }
  }
  for (double& e : residual) e = std::sqrt(e);
  if (m > 0) reweight(residual, weight);
  const std::vector<int32_t> lowest = envelope(u, d);
  for (int round = 0; round < fit_rounds; ++round) {
    normal_equations eq(lowest, sides);
    for (size_t k = 0; k < m; ++k) {
      const size_t begin = d.start[k], size = d.start[k + 1] - begin;
      eq.add_row({&d.index[begin], size}, {&d.coefficient[begin], size},
                 {&values[k * sides], static_cast<size_t>(sides)}, weight[k]);
    }
    add_priors(u, eq);
    x = eq.solve();
    if (round + 1 == fit_rounds || m == 0) break;
    for (size_t k = 0; k < m; ++k) {
      double sum = 0.0;
      for (int s = 0; s < sides; ++s) {
        const double e = d.evaluate(k, x[s]) - values[k * sides + s];
        sum += e * e;
      }
      residual[k] = std::sqrt(sum / sides);
    }
    reweight(residual, weight);
  }
  return x;
}
}  // namespace

int32_t grid_nodes_for(size_t inputs) {
  // A tile's nodes are all coupled with its neighbours': near 2500 unknowns keep the
  // factorisation to a second even when the inputs are not listed in a banded order.
  if (inputs * 25 <= 2500) return 5;
  if (inputs * 9 <= 2500) return 3;
  return 2;
}

exposure_correction solve_exposure(std::span<const cell_comparison> comparisons, std::span<const input_size> sizes,
                                   const exposure_options& options) {
  exposure_correction result;
  // The falloff first, from the channels' mean against one gain per input: grids could
  // bend into any falloff.
  if (options.vignetting) {
    const unknowns u = lay_out(sizes, 1, true);
    std::vector<double> mean;
    for (const cell_comparison& c : comparisons)
      mean.push_back((double{c.log_ratio[0]} + c.log_ratio[1] + c.log_ratio[2]) / 3.0);
    const std::vector<double> x = robust_fit(u, build_design(u, sizes, comparisons), comparisons, mean, 1)[0];
    result.falloff.assign(x.begin() + u.falloff_first, x.end());
  }
  const int32_t across = options.mode == exposure_mode::gain_grid ? grid_nodes_for(sizes.size()) : 1;
  const unknowns u = lay_out(sizes, across, false);
  for (size_t i = 0; i < sizes.size(); ++i)
    result.inputs.push_back({u.grids[i], std::vector<double>(3 * static_cast<size_t>(u.grids[i].nodes()), 0.0)});
  if (options.mode == exposure_mode::off) return result;

  // What is left of each comparison once the falloff is divided out.
  std::vector<double> values;
  for (const cell_comparison& c : comparisons) {
    const input_size a = sizes[c.first], b = sizes[c.second];
    const double v = result.falloff.empty()
                         ? 0.0
                         : log_falloff(result.falloff, radius_squared(c.first_x, c.first_y, a.width, a.height)) -
                               log_falloff(result.falloff, radius_squared(c.second_x, c.second_y, b.width, b.height));
    for (int k = 0; k < 3; ++k) values.push_back(c.log_ratio[k] - v);
  }
  const std::vector<std::vector<double>> x = robust_fit(u, build_design(u, sizes, comparisons), comparisons, values, 3);
  for (size_t i = 0; i < sizes.size(); ++i)
    for (int32_t n = 0; n < u.grids[i].nodes(); ++n)
      for (int c = 0; c < 3; ++c) result.inputs[i].log_gain[3 * n + c] = -x[c][u.first[i] + n];
  return result;
}

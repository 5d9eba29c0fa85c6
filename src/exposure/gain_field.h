// Where a correction lives on one input's pixels: a grid of nodes spanning the picture with
// values interpolated bilinearly between them (one node is a constant), and the normalised
// radius from the picture's centre that the lens falloff is a function of.
#pragma once

#include <cstdint>
#include <span>

struct node_grid {
  int32_t columns = 1;
  int32_t rows = 1;
  int32_t width = 1;  // the picture's size in pixels
  int32_t height = 1;

  int32_t nodes() const { return columns * rows; }
  // The nodes around pixel position (x, y), with bilinear weights that sum to 1; returns
  // how many (1, 2 or 4). Positions outside the picture take the nearest edge's weights.
  int corners(double x, double y, int32_t index[4], double weight[4]) const;
};

// Squared distance of pixel (x, y) from the centre of a width x height picture, as a share
// of the squared half diagonal: 0 at the centre, 1 in the corners.
double radius_squared(double x, double y, int32_t width, int32_t height);

// log V(r) = c[0] r^2 + c[1] r^4 + ...: the falloff is 1 at the centre.
double log_falloff(std::span<const double> coefficients, double r2);

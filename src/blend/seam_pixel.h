// The meaning of the bytes of a seam map and of the blend mask cut from it: bgra32 pixels
// whose red is the cost of a seam through the pixel, green the share (or coverage) of
// image 1, the accumulated result, blue that of image 2, the image being added, and alpha
// whether the pixel holds anything. A view over one pixel's bytes, for raw row pointers.
#pragma once

#include <cstdint>

template <class byte>
class basic_seam_pixel {
 public:
  // Byte offsets inside a pixel, and where the same bytes sit in a little-endian 32-bit lane.
  static constexpr int image2_byte = 0, image1_byte = 1, cost_byte = 2, valid_byte = 3;
  static constexpr int image2_shift = 8 * image2_byte, image1_shift = 8 * image1_byte, cost_shift = 8 * cost_byte,
                       valid_shift = 8 * valid_byte;

  // The 32-bit lane of a pixel with these bytes, for vector code.
  static constexpr uint32_t lane(uint8_t cost, uint8_t image1, uint8_t image2, uint8_t valid) {
    return uint32_t{cost} << cost_shift | uint32_t{image1} << image1_shift | uint32_t{image2} << image2_shift |
           uint32_t{valid} << valid_shift;
  }

  explicit basic_seam_pixel(byte* p) : p_(p) {}

  uint8_t cost() const { return p_[cost_byte]; }
  uint8_t image1() const { return p_[image1_byte]; }
  uint8_t image2() const { return p_[image2_byte]; }
  uint8_t valid() const { return p_[valid_byte]; }

  // Both images have a share: the pixel is still undecided, the cut runs through it.
  bool in_overlap() const { return image1() > 0 && image2() > 0; }
  bool image1_only() const { return image1() > 0 && image2() == 0; }
  bool image2_only() const { return image2() > 0 && image1() == 0; }
  // The image the pixel goes to when the mask is hardened: 1 where image 1's share is
  // larger, else 2 where image 2 has any, else 0 (neither).
  uint8_t side() const { return image1() > image2() ? 1 : image2() > 0 ? 2 : 0; }

  void set_cost(uint8_t v) const { p_[cost_byte] = v; }
  void set_shares(uint8_t image1, uint8_t image2) const {
    p_[image1_byte] = image1;
    p_[image2_byte] = image2;
  }
  void set_valid(uint8_t v) const { p_[valid_byte] = v; }
  void set(uint8_t cost, uint8_t image1, uint8_t image2, uint8_t valid) const {
    set_cost(cost);
    set_shares(image1, image2);
    set_valid(valid);
  }

 private:
  static_assert(sizeof(byte) == 1);
  byte* p_;
};

using seam_pixel = basic_seam_pixel<uint8_t>;
using const_seam_pixel = basic_seam_pixel<const uint8_t>;

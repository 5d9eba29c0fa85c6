// Integer rectangle with inclusive edges; (1, 1, 0, 0) is the conventional empty value.
#pragma once

#include <cstdint>

class dib;

struct irect {
  int32_t left = 1, top = 1, right = 0, bottom = 0;

  static irect of(const dib& image);

  bool empty() const { return right < left || bottom < top; }
  int32_t width() const { return right - left + 1; }
  int32_t height() const { return bottom - top + 1; }
  bool operator==(const irect&) const = default;
};

// False (out untouched) when the rectangles do not meet; shared edges do meet.
inline bool intersect(const irect& a, const irect& b, irect& out) {
  if (b.right < a.left || a.right < b.left || b.bottom < a.top || a.bottom < b.top) return false;
  out.left = a.left > b.left ? a.left : b.left;
  out.top = a.top > b.top ? a.top : b.top;
  out.right = a.right < b.right ? a.right : b.right;
  out.bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
  return true;
}

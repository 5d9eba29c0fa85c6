#include "merge/wrap_period.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/memory_status.h"
#include "platform/temp_files.h"

namespace {
std::string mib(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }
}  // namespace

void check_wrap_period(int64_t d, const irect& acc_rect, int32_t bits_per_pixel) {
  const std::string refused = "Wrap period of " + std::to_string(d) + " columns is more than the canvas can hold: ";
  // The pieces sit on columns d - e .. d + e - 1 beside the merged canvas, and the
  // self-blend places that grown canvas one period to the right.
  const int64_t e = d / 8;
  const int64_t grown = std::max<int64_t>(acc_rect.right, d + e - 1) - std::min<int64_t>(acc_rect.left, d - e) + 1;
  if (d > max_wrap_period || d + grown > INT32_MAX)
    throw std::runtime_error(refused + "the canvas would span more than 2^31 - 1 columns");
  const int64_t row_bytes = grown * bits_per_pixel / 8;
  if (row_bytes + 15 > INT32_MAX)
    throw std::runtime_error(refused + "a row of " + std::to_string(grown) + " pixels of " +
                             std::to_string(bits_per_pixel) + " bits does not fit one image row");
  // The period-wide result is made while the canvas still lives.
  const uint64_t needed = static_cast<uint64_t>(d) * static_cast<uint64_t>(acc_rect.height()) *
                          static_cast<uint64_t>(bits_per_pixel / 8);
  const uint64_t room = read_memory_status().avail_phys + temp_space_available();
  if (needed > room)
    throw std::runtime_error(refused + "its image of " + std::to_string(d) + " x " +
                             std::to_string(acc_rect.height()) + " pixels needs " + mib(needed) +
                             ", more than free memory and temporary space hold (" + mib(room) + ")");
}

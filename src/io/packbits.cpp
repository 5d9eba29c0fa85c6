#include "io/packbits.h"

namespace {
enum class packbits_state { base, literal, run, literal_run };
}  // namespace

// libtiff's encoder state machine; its output decides our file bytes. A lone byte
// between two literals is folded into them rather than written as a run of one.
void packbits_encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  // No input byte gives more than two output bytes; write through a raw pointer into room
  // for that and trim afterwards.
  const size_t start = out.size();
  out.resize(start + 2 * size + 2);
  uint8_t* const base = out.data() + start;
  uint8_t* op = base;
  uint8_t* last_literal = base;  // the open literal's count byte
  packbits_state state = packbits_state::base;
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  while (p < end) {
    const uint8_t b = *p++;
    long n = 1;
    while (p < end && *p == b) {
      ++p;
      ++n;
    }
    for (;;) {
      bool again = false;
      switch (state) {
        case packbits_state::base:
        case packbits_state::run:
        case packbits_state::literal:
          if (n > 1) {
            state = state == packbits_state::literal ? packbits_state::literal_run : packbits_state::run;
            if (n > 128) {
              *op++ = static_cast<uint8_t>(-127);
              *op++ = b;
              n -= 128;
              again = true;
              break;
            }
            *op++ = static_cast<uint8_t>(-(n - 1));
            *op++ = b;
          } else if (state == packbits_state::literal) {
            if (++*last_literal == 127) state = packbits_state::base;
            *op++ = b;
          } else {
            last_literal = op;
            *op++ = 0;
            *op++ = b;
            state = packbits_state::literal;
          }
          break;
        case packbits_state::literal_run:
          if (n == 1 && op[-2] == static_cast<uint8_t>(-1) && *last_literal < 126) {
            *last_literal = static_cast<uint8_t>(*last_literal + 2);
            state = *last_literal == 127 ? packbits_state::base : packbits_state::literal;
            op[-2] = op[-1];
          } else {
            state = packbits_state::run;
          }
          again = true;
          break;
      }
      if (!again) break;
    }
  }
  out.resize(start + static_cast<size_t>(op - base));
}

#include "io/packbits.h"

namespace {
enum class packbits_state { base, literal, run, literal_run };
}  // namespace

// libtiff's encoder state machine; its output decides our file bytes. A lone byte
// between two literals is folded into them rather than written as a run of one.
void packbits_encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  packbits_state state = packbits_state::base;
  size_t last_literal = 0;  // index in out of the open literal's count byte
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
            if (state == packbits_state::literal) state = packbits_state::literal_run;
            else state = packbits_state::run;
            if (n > 128) {
              out.push_back(static_cast<uint8_t>(-127));
              out.push_back(b);
              n -= 128;
              again = true;
              break;
            }
            out.push_back(static_cast<uint8_t>(-(n - 1)));
            out.push_back(b);
          } else if (state == packbits_state::literal) {
            if (++out[last_literal] == 127) state = packbits_state::base;
            out.push_back(b);
          } else {
            last_literal = out.size();
            out.push_back(0);
            out.push_back(b);
            state = packbits_state::literal;
          }
          break;
        case packbits_state::literal_run: {
          const size_t op = out.size();
          if (n == 1 && out[op - 2] == static_cast<uint8_t>(-1) && out[last_literal] < 126) {
            out[last_literal] = static_cast<uint8_t>(out[last_literal] + 2);
            state = out[last_literal] == 127 ? packbits_state::base : packbits_state::literal;
            out[op - 2] = out[op - 1];
          } else {
            state = packbits_state::run;
          }
          again = true;
          break;
        }
      }
      if (!again) break;
    }
  }
}

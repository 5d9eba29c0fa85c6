// One 64-bit word of memory shared with the children forked after it is made: a child
// writes it, the parent reads it, also after the child has crashed.
#pragma once

#include <atomic>
#include <cstdint>

class shared_word {
 public:
  shared_word();  // throws runtime_error when the system gives no shared page
  ~shared_word();
  shared_word(const shared_word&) = delete;
  shared_word& operator=(const shared_word&) = delete;

  std::atomic<uint64_t>& value() { return *word_; }

 private:
  std::atomic<uint64_t>* word_ = nullptr;
};

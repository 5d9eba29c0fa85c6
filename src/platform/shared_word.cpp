#include "platform/shared_word.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

shared_word::shared_word() {
  void* page = mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED)
    throw std::runtime_error(std::string("cannot start the decoder: ") + std::strerror(errno));
  word_ = new (page) std::atomic<uint64_t>(0);
}

shared_word::~shared_word() { munmap(word_, sizeof(std::atomic<uint64_t>)); }

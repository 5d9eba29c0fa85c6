// The three memory quantities the storage policy weighs, read from /proc/meminfo:
// total and available commit (CommitLimit, CommitLimit - Committed_AS) and available physical memory.
#pragma once

#include <cstdint>
#include <functional>

struct memory_status {
  uint64_t total_commit = 0;
  uint64_t avail_commit = 0;
  uint64_t avail_phys = 0;
};

memory_status read_memory_status();

// Parses the text of /proc/meminfo; missing fields read as 0.
memory_status parse_meminfo(const char* text);

using memory_status_source = std::function<memory_status()>;

#include "platform/memory_status.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
uint64_t field_bytes(const char* text, const char* key) {
  const char* at = std::strstr(text, key);
  if (!at) return 0;
  unsigned long long kib = 0;
  if (std::sscanf(at + std::strlen(key), " %llu", &kib) != 1) return 0;
  return static_cast<uint64_t>(kib) * 1024;
}
}  // namespace

memory_status parse_meminfo(const char* text) {
  memory_status status;
  uint64_t limit = field_bytes(text, "CommitLimit:");
  uint64_t committed = field_bytes(text, "Committed_AS:");
  status.total_commit = limit;
  status.avail_commit = committed < limit ? limit - committed : 0;
  status.avail_phys = field_bytes(text, "MemAvailable:");
  return status;
}

memory_status read_memory_status() {
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return {};
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return parse_meminfo(text.c_str());
}

#include "platform/temp_files.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string temp_directory() {
  const char* dir = std::getenv("TMPDIR");
  std::string d = (dir && *dir) ? dir : "/tmp";
  if (d.back() != '/') d += '/';
  return d;
}

uint64_t temp_space_available() {
  struct statvfs info {};
  if (statvfs(temp_directory().c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

std::string make_temp_file_name() {
  std::string pattern = temp_directory() + "QM_XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  return pattern;
}

int open_read_write(const std::string& name) {
  return open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

bool set_file_size(int fd, uint64_t size) {
  if (size > static_cast<uint64_t>(INT64_MAX)) {
    errno = EFBIG;
    return false;
  }
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return false;
  // The blocks are reserved now: a mapped file that finds its folder full only when a page
  // is first written kills the process with SIGBUS. File systems that cannot reserve keep
  // the sparse file.
  if (size == 0 || fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0) return true;
  return errno == EOPNOTSUPP || errno == ENOSYS;
}

bool close_file(int fd) { return close(fd) == 0; }

bool delete_file(const std::string& name) { return unlink(name.c_str()) == 0; }

void* map_file_view(int fd, uint64_t offset, size_t length) {
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(offset));
  return p == MAP_FAILED ? nullptr : p;
}

bool unmap_file_view(void* address, size_t length) { return munmap(address, length) == 0; }

uint32_t allocation_granularity() {
  static const uint32_t page = static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
  return page;
}

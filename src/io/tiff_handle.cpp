#include "io/tiff_handle.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
thread_local std::string last_error;

void keep_error(const char* module, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  last_error = module && *module ? std::string(module) + ": " + text : std::string(text);
}

// Set on every open: DevIL's own TIFF code resets libtiff's handlers whenever it runs.
void quiet_libtiff() {
  TIFFSetWarningHandler(nullptr);
  TIFFSetErrorHandler(keep_error);
}
}  // namespace

tiff_handle open_tiff(const std::string& file_name, const char* mode) {
  quiet_libtiff();
  errno = 0;
  return tiff_handle(TIFFOpen(file_name.c_str(), mode));
}

tiff_handle open_tiff_fd(int fd, const std::string& file_name, const char* mode) {
  quiet_libtiff();
  const int own = dup(fd);
  if (own < 0) return tiff_handle();
  errno = 0;
  TIFF* tif = TIFFFdOpen(own, file_name.c_str(), mode);
  if (!tif) close(own);
  return tiff_handle(tif);
}

std::string take_tiff_failure_cause(tiff_cause order) {
  const std::string system = errno ? std::strerror(errno) : "";
  errno = 0;
  std::string library;
  library.swap(last_error);
  if (order == tiff_cause::system_first) return system.empty() ? library : system;
  return library.empty() ? system : library;
}

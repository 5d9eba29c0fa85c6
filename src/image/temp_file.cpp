#include "image/temp_file.h"

#include <stdexcept>

#include "platform/system_error.h"
#include "platform/temp_files.h"

temp_file::~temp_file() {
  try {
    close();
  } catch (...) {
    // A destructor cannot report; the file is gone or was never ours.
  }
}

void temp_file::create(const std::string& name, uint64_t size) {
  close();
  name_ = name;
  size_ = size;
  clear_system_error();
  fd_ = open_read_write(name);
  if (fd_ < 0) throw std::runtime_error("Failed CreateFile : " + system_error_text() + ", filename : " + name);
  if (!set_file_size(fd_, size))
    throw std::runtime_error("\nFailed SetEndOfFile : " + system_error_text() + ",  for file : " + name);
  if (!delete_file(name_))
    throw std::runtime_error("Failed DeleteFile : " + system_error_text() + ", filename : " + name_);
  name_.clear();
  granularity_ = allocation_granularity();
}

void temp_file::close() {
  size_ = 0;
  if (fd_ >= 0) {
    close_file(fd_);
    fd_ = -1;
    if (!name_.empty()) {
      std::string name = name_;
      name_.clear();
      if (!delete_file(name))
        throw std::runtime_error("Failed DeleteFile : " + system_error_text() + ", filename : " + name);
    }
  } else if (!name_.empty()) {
    // Opening failed after the name was reserved: remove the empty file it left.
    delete_file(name_);
    name_.clear();
  }
}

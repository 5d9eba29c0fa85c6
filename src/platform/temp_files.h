// Temporary files for file-backed pixel storage: unique "QM_" names in $TMPDIR
// (else /tmp), sizing, and read/write views mapped at page-aligned offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Creates an empty file under a new unique name "QM_XXXXXX" and returns the full name;
// an empty string when the directory refuses it.
std::string make_temp_file_name();

std::string temp_directory();
// Bytes an unprivileged process may still write in temp_directory(); 0 when unknown.
uint64_t temp_space_available();

// Each returns false (errno set) on failure.
int open_read_write(const std::string& name);  // -1 on failure; creates or truncates
bool set_file_size(int fd, uint64_t size);
bool close_file(int fd);
bool delete_file(const std::string& name);

// Offsets must be multiples of allocation_granularity(); null on failure.
void* map_file_view(int fd, uint64_t offset, size_t length);
bool unmap_file_view(void* address, size_t length);
uint32_t allocation_granularity();

// What a path names on the file system once its symbolic links are followed: the kind of
// file there and an identity that two names of one file share.
#pragma once

#include <cstdint>
#include <string>

enum class file_kind { missing, regular, folder, fifo, device, socket, other };

// Two names give equal identities when they name one file: the same device and inode, or,
// for a file not there yet, the same folder (device and inode) and the same last name.
struct file_identity {
  bool known = false;  // false when not even the folder could be examined; equals nothing
  bool exists = false;
  uint64_t device = 0, inode = 0;
  std::string name;  // the last name, for a file not there yet

  bool operator==(const file_identity& o) const {
    return known && o.known && exists == o.exists && device == o.device && inode == o.inode && name == o.name;
  }
};

// The path its last component's symbolic links lead to (relative links read from the link's
// folder), which may not exist yet; the path itself when it is no link. Gives up after 40
// links (a loop) and returns the last path reached.
std::string follow_links(const std::string& path);

// The kind of what path names, links followed.
file_kind kind_of(const std::string& path);

file_identity identify(const std::string& path);

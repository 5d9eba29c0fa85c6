// Writes a file so that its target is replaced only once the new file is complete: a
// failed or killed save never leaves a partial or lost file, nor a temporary one.
#pragma once

#include <string>

class atomic_output {
 public:
  // Opens the new file, unnamed (O_TMPFILE) in the target's folder where the file system
  // allows it, else under a hidden unique name there. A target that is a symbolic link
  // stands for the file it leads to. Throws runtime_error with failure_message and the
  // cause when it cannot be made, or when the target is a folder, a pipe or a device.
  atomic_output(const std::string& target, std::string failure_message);
  // Removes a named temporary file unless commit() succeeded; an unnamed one vanishes anyway.
  ~atomic_output();
  atomic_output(const atomic_output&) = delete;
  atomic_output& operator=(const atomic_output&) = delete;

  // For tests: false makes every output take the named path, as on a file system
  // without unnamed files.
  static void allow_unnamed_files(bool allow);

  // The descriptor to write the new file through; stays owned by this object.
  int fd() const { return fd_; }
  // The file that commit() replaces: the target with its links followed.
  const std::string& target() const { return target_; }
  // Flushes the finished file to disk, so that commit() has only to give it its name.
  void flush();
  // Flushes unless done and puts the file in place of the target; throws
  // runtime_error(failure_message + cause) when that fails.
  void commit();
  // failure_message, plus a line with the cause when there is one.
  [[noreturn]] void fail(const std::string& cause) const;

 private:
  std::string place_under_temporary_name(const std::string& pattern, int extension_length);

  std::string target_;
  std::string folder_;
  std::string pattern_;  // the hidden name's template, "<folder>.<stem>.qm_tmp_XXXXXX<ext>"
  int extension_length_ = 0;
  std::string temp_name_;  // empty while the file is unnamed
  std::string failure_message_;
  int fd_ = -1;
  bool flushed_ = false;
  bool committed_ = false;
};

// Writes a file under a unique temporary name beside its target and renames it over
// the target only once complete, so a failed save never leaves a partial or lost file.
#pragma once

#include <string>

class atomic_output {
 public:
  // Creates the empty temporary file in the target's folder. Its name keeps the target's
  // extension, since DevIL picks the encoder from it. Throws runtime_error(failure_message)
  // when the file cannot be made.
  atomic_output(const std::string& target, std::string failure_message);
  // Removes the temporary file unless commit() succeeded.
  ~atomic_output();
  atomic_output(const atomic_output&) = delete;
  atomic_output& operator=(const atomic_output&) = delete;

  const std::string& temp_name() const { return temp_name_; }
  // Flushes the finished temporary file to disk and renames it over the target;
  // throws runtime_error(failure_message) when that fails.
  void commit();

 private:
  std::string target_;
  std::string temp_name_;
  std::string failure_message_;
  bool committed_ = false;
};

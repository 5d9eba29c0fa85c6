// The error for a command line that cannot be run: its message is printed and the
// program ends with status 2, after the short usage when show_usage() says so.
#pragma once

#include <stdexcept>
#include <string>

class command_line_error : public std::runtime_error {
 public:
  command_line_error(const std::string& message, bool show_usage)
      : std::runtime_error(message), show_usage_(show_usage) {}
  bool show_usage() const { return show_usage_; }

 private:
  bool show_usage_;
};

// Failure messages keep their fixed first line; what the system or a library said about
// the cause follows on a line of its own.
#pragma once

#include <string>

inline std::string with_cause(const std::string& message, const std::string& cause) {
  return cause.empty() ? message : message + "\n" + cause;
}

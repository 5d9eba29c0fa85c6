// Broken invariants of quiltmerge itself, kept apart from the failures a user can act on:
// QM_ASSERT names the source file and line and throws internal_error, which run_program
// reports as an internal error to be reported, not as a cause to look for.
#pragma once

#include <stdexcept>

// Thrown only for our own mistakes; a std::logic_error, so it is no runtime_error either.
class internal_error : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// "<file>:<line>: <condition>", with the file from its src/ folder on.
[[noreturn]] void fail_internal(const char* condition, const char* file, int line);

// Checked in every build: the checks guard image shapes at function entries, not pixels.
#define QM_ASSERT(condition) ((condition) ? static_cast<void>(0) : fail_internal(#condition, __FILE__, __LINE__))

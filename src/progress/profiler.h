// The process-wide profiler: named timing records, the total profiled time, the
// clock calibration and the text of the timing report ("profile.txt").
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct timing_record {
  uint8_t valid = 1;  // 0 keeps the record out of the report
  int running = 0;    // nesting depth of calls still open
  int calls = 0;      // completed calls
  uint64_t own_ticks = 0;
  uint64_t nested_ticks = 0;   // spent in profiled operations called from this one
  uint64_t average_ticks = 0;  // smoothed per-call time, updated by each report

  uint64_t inclusive_ticks() const { return own_ticks + nested_ticks; }
};

class profile_scope;

class profiler {
 public:
  // seconds: a monotonic clock; cycles: a free-running counter; frequency: the
  // resolution of the seconds clock in ticks per second. Both are read now.
  profiler(std::function<double()> seconds, std::function<uint64_t()> cycles, double frequency);
  // Monotonic seconds and the processor's cycle counter.
  profiler();
  profiler(const profiler&) = delete;
  profiler& operator=(const profiler&) = delete;

  // The record for name, made (valid, all counters 0) on first use.
  timing_record& record(const std::string& name);
  uint64_t total_ticks() const { return total_ticks_; }
  void set_total_ticks(uint64_t ticks) { total_ticks_ = ticks; }

  // Cycles per second measured since construction.
  double ticks_per_second() const;

  // Rows sorted largest first by sort_key: 1 own ticks, 2 average ticks, 3 average
  // ticks * calls / inclusive ticks, anything else inclusive ticks. max_rows <= 0
  // means all rows. The text stays valid until the next report.
  const std::string& report(int max_rows, int sort_key);

  // Forgets every record and the total; throws std::logic_error while a scope is open.
  void reset();

 private:
  friend class profile_scope;

  std::function<double()> seconds_;
  std::function<uint64_t()> cycles_;
  double frequency_;
  double start_time_;
  uint64_t start_ticks_;
  std::map<std::string, timing_record> registry_;  // node-based: record addresses stay put
  uint64_t total_ticks_ = 0;
  profile_scope* innermost_ = nullptr;
  std::string report_text_;
};

// Times one call of a named operation. Ticks of scopes opened inside it count as
// its nested ticks and not its own; the total advances when the outermost scope ends.
// Scopes must end in reverse order of opening, which automatic storage gives.
class profile_scope {
 public:
  explicit profile_scope(const std::string& name);  // on the process-wide profiler
  profile_scope(profiler& owner, const std::string& name);
  ~profile_scope();
  profile_scope(const profile_scope&) = delete;
  profile_scope& operator=(const profile_scope&) = delete;

 private:
  profiler& owner_;
  timing_record& record_;
  profile_scope* parent_;
  uint64_t start_;
  uint64_t nested_ = 0;
};

// The process-wide profiler, created during static initialisation at the latest.
profiler& global_profiler();

double ticks_per_second();

// Report of the process-wide profiler; the text lives until the next call.
const char* profile_report(int max_rows, int sort_key);

// For tests: empties the process-wide registry and total.
void reset_profiler();

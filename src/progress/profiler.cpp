#include "progress/profiler.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/internal_error.h"

namespace {
__attribute__((format(printf, 2, 3))) void append_format(std::string* text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    size_t old = text->size();
    text->resize(old + static_cast<size_t>(n) + 1);
    std::vsnprintf(text->data() + old, static_cast<size_t>(n) + 1, format, again);
    text->resize(old + static_cast<size_t>(n));
  }
  va_end(again);
}

// A zero total or rate would turn the report's ratios into nan or inf.
double ratio(double numerator, double denominator) { return denominator > 0 ? numerator / denominator : 0.0; }

double sort_value(const timing_record& r, int sort_key) {
  switch (sort_key) {
    case 1:
      return static_cast<double>(r.own_ticks);
    case 2:
      return static_cast<double>(r.average_ticks);
    case 3:
      // A nan key would break the ordering the sort relies on.
      return ratio(static_cast<double>(r.average_ticks) * r.calls, static_cast<double>(r.inclusive_ticks()));
    default:
      return static_cast<double>(r.inclusive_ticks());
  }
}
}  // namespace

profiler::profiler(std::function<double()> seconds, std::function<uint64_t()> cycles, double frequency)
    : seconds_(std::move(seconds)), cycles_(std::move(cycles)), frequency_(frequency) {
  start_time_ = seconds_();
  start_ticks_ = cycles_();
}

profiler::profiler() : profiler(monotonic_seconds, cycle_counter, monotonic_frequency()) {}

timing_record& profiler::record(const std::string& name) { return registry_[name]; }

double profiler::ticks_per_second() const {
  double elapsed = seconds_() - start_time_;
  double ticks = static_cast<double>(cycles_() - start_ticks_);
  if (elapsed > 0) return ticks / elapsed;
  return ticks / (1.0 / frequency_);
}

const std::string& profiler::report(int max_rows, int sort_key) {
  double f = ticks_per_second();
  std::string text;
  text.reserve(6400);
  append_format(&text, "%s%10.8f%s", "All Profiled Time: ", ratio(static_cast<double>(total_ticks_), f),
                "(sec)\n");
  text += "===CALLS==|=%All=|=%Exl=|%miliSec=|%mSecMax=| Name |\n";

  std::vector<std::pair<const std::string*, timing_record*>> rows;
  for (auto& [name, r] : registry_) {
    if (r.valid) rows.emplace_back(&name, &r);
  }
  // Stable, so equal keys keep name order and the report is reproducible.
  std::stable_sort(rows.begin(), rows.end(), [sort_key](const auto& a, const auto& b) {
    return sort_value(*a.second, sort_key) > sort_value(*b.second, sort_key);
  });
  if (max_rows > 0 && rows.size() > static_cast<size_t>(max_rows)) rows.resize(static_cast<size_t>(max_rows));

  double total = static_cast<double>(total_ticks_);
  for (auto& [name, r] : rows) {
    if (r->calls <= 0) continue;
    double inclusive = static_cast<double>(r->inclusive_ticks());
    append_format(&text, "%010d | %05.1f | %05.1f | %09.5f | %09.5f | %s", r->calls,
                  ratio(inclusive, total) * 100, ratio(static_cast<double>(r->own_ticks), total) * 100,
                  ratio(inclusive, f) * 1000 / r->calls,
                  ratio(static_cast<double>(r->average_ticks), f) * 1000, name->c_str());
    if (r->running > 0) text += " !!!_Running... ";
    r->average_ticks =
        static_cast<uint64_t>(0.95 * static_cast<double>(r->average_ticks) + 0.05 * inclusive / r->calls);
    text += "\n";
  }
  report_text_ = std::move(text);
  return report_text_;
}

void profiler::reset() {
  QM_ASSERT(!innermost_);  // no profiled scope may be open
  registry_.clear();
  total_ticks_ = 0;
}

profile_scope::profile_scope(const std::string& name) : profile_scope(global_profiler(), name) {}

profile_scope::profile_scope(profiler& owner, const std::string& name)
    : owner_(owner), record_(owner.record(name)), parent_(owner.innermost_) {
  ++record_.running;
  owner_.innermost_ = this;
  start_ = owner_.cycles_();
}

profile_scope::~profile_scope() {
  uint64_t elapsed = owner_.cycles_() - start_;
  record_.own_ticks += elapsed > nested_ ? elapsed - nested_ : 0;
  ++record_.calls;
  --record_.running;
  owner_.innermost_ = parent_;
  if (parent_) {
    parent_->nested_ += elapsed;
    parent_->record_.nested_ticks += elapsed;
  } else {
    owner_.total_ticks_ += elapsed;
  }
}

profiler& global_profiler() {
  static profiler instance;
  return instance;
}

namespace {
// Starts the calibration interval with the process rather than at the first report.
[[maybe_unused]] profiler& created_at_startup = global_profiler();
}  // namespace

double ticks_per_second() { return global_profiler().ticks_per_second(); }

const char* profile_report(int max_rows, int sort_key) {
  return global_profiler().report(max_rows, sort_key).c_str();
}

void reset_profiler() { global_profiler().reset(); }

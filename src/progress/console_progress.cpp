#include "progress/console_progress.h"

#include <climits>
#include <cstdio>
#include <utility>

#include "platform/clock.h"

namespace {
void print_to_stdout(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}
}  // namespace

console_progress::console_progress() : console_progress(tick_count_ms, print_to_stdout) {}

console_progress::console_progress(tick_source ticks, line_sink sink)
    : ticks_(std::move(ticks)), sink_(std::move(sink)) {
  start_tick_ = ticks_();
}

bool console_progress::refresh() {
  print();
  return true;
}

void console_progress::set_progress(double percent) {
  print();
  stage_progress::set_progress(percent);
}

// Called on every position update (per image row in the loaders), so the early
// exit must stay cheap and nothing here allocates.
void console_progress::print() {
  double p = position();
  if (!(p > last_printed_ + print_step_)) return;

  int seconds_left = 0;
  if (start_tick_ == 0) {
    start_tick_ = ticks_();
  } else {
    double d = static_cast<uint32_t>(ticks_() - start_tick_) * 0.001;
    double last = last_printed_;
    if (d > 1 && last > 1) {
      print_step_ = last / d * 0.5;
      if (print_step_ < 0.1) print_step_ = 0.1;
      if (print_step_ > 0.5) print_step_ = 0.5;
    }
    // Nothing shown yet means no rate to estimate from: the first line shows 0h:0m:0s.
    if (last > 0) {
      double t = (100 - last) * d / last * (2 - last / 100);
      // Keeps the integer conversion defined after weeks of very slow progress.
      if (t > INT_MAX - 1) t = INT_MAX - 1;
      seconds_left = 1 + static_cast<int>(t);
    }
  }
  last_printed_ = p;

  char line[128];
  std::snprintf(line, sizeof line, "Processing: %2.1f%%, time left (appx) %dh:%dm:%ds\r", p,
                seconds_left / 3600, (seconds_left / 60) % 60, seconds_left % 60);
  sink_(line);
}

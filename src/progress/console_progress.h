// The console progress line: the overall percentage and a time-left estimate,
// rewritten in place (carriage return, no line feed) as the run advances.
#pragma once

#include <cstdint>
#include <functional>

#include "progress/stage_progress.h"

class console_progress : public stage_progress {
 public:
  using tick_source = std::function<uint32_t()>;       // milliseconds, may wrap
  using line_sink = std::function<void(const char*)>;  // receives each finished line

  // Ticks from tick_count_ms, lines to standard output.
  console_progress();
  console_progress(tick_source ticks, line_sink sink);

  bool refresh() override;
  void set_progress(double percent) override;

  double last_printed() const { return last_printed_; }
  double print_step() const { return print_step_; }

 private:
  void print();

  tick_source ticks_;
  line_sink sink_;
  double last_printed_ = 0.0;
  uint32_t start_tick_ = 0;
  double print_step_ = 0.1;
};

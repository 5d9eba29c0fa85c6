// A progress tracker for tests that records every call it receives.
#pragma once

#include <string>
#include <vector>

#include "progress/progress_tracker.h"

struct recorded_call {
  std::string what;  // "progress", "step_end", "begin", "end"
  double value = 0;
  std::string label;
};

class recording_tracker : public progress_tracker {
 public:
  bool refresh() override { return true; }
  void set_progress(double p) override { calls.push_back({"progress", p, ""}); }
  void set_step_end(double p) override { calls.push_back({"step_end", p, ""}); }
  void begin_stage(const std::string& label) override {
    calls.push_back({"begin", 0, label});
    ++depth;
  }
  void end_stage() override {
    calls.push_back({"end", 0, ""});
    --depth;
  }

  std::vector<double> values(const std::string& what) const {
    std::vector<double> out;
    for (const auto& c : calls)
      if (c.what == what) out.push_back(c.value);
    return out;
  }

  std::vector<recorded_call> calls;
  int depth = 0;
};

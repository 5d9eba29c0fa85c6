// A progress tracker for tests that records every call it receives.
#pragma once

#include <string>
#include <vector>

#include "progress/progress_tracker.h"

struct recorded_call {
  std::string what;  // "progress", "step_end", "begin", "end"
  double value = 0;
  std::string label;
  int depth = 0;  // stages open when the call was made
};

class recording_tracker : public progress_tracker {
 public:
  bool refresh() override { return true; }
  void set_progress(double p) override { calls.push_back({"progress", p, "", depth}); }
  void set_step_end(double p) override { calls.push_back({"step_end", p, "", depth}); }
  void begin_stage(const std::string& label) override {
    calls.push_back({"begin", 0, label, depth});
    ++depth;
  }
  void end_stage() override {
    --depth;
    calls.push_back({"end", 0, "", depth});
  }

  std::vector<double> values(const std::string& what, int at_depth = -1) const {
    std::vector<double> out;
    for (const auto& c : calls)
      if (c.what == what && (at_depth < 0 || c.depth == at_depth)) out.push_back(c.value);
    return out;
  }

  std::vector<recorded_call> calls;
  int depth = 0;
};

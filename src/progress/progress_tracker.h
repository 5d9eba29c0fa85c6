// The nested-stage progress interface, and stage_scope, which closes a stage on
// every way out and skips every call when no tracker was given.
#pragma once

#include <string>

class progress_tracker {
 public:
  virtual bool refresh() = 0;
  virtual void set_progress(double percent) = 0;
  virtual void set_step_end(double percent) = 0;
  virtual void begin_stage(const std::string& label) = 0;
  virtual void end_stage() = 0;
  virtual ~progress_tracker() = default;
};

class stage_scope {
 public:
  stage_scope(progress_tracker* tracker, const char* label) : tracker_(tracker) {
    if (tracker_) tracker_->begin_stage(label);
  }
  ~stage_scope() {
    if (tracker_) tracker_->end_stage();
  }
  stage_scope(const stage_scope&) = delete;
  stage_scope& operator=(const stage_scope&) = delete;

  void step_end(double percent) const {
    if (tracker_) tracker_->set_step_end(percent);
  }
  void progress(double percent) const {
    if (tracker_) tracker_->set_progress(percent);
  }
  progress_tracker* tracker() const { return tracker_; }

 private:
  progress_tracker* tracker_;
};

// For operations that only plan steps on a stage opened by someone else.
inline void set_step_end(progress_tracker* tracker, double percent) {
  if (tracker) tracker->set_step_end(percent);
}
inline void set_progress(progress_tracker* tracker, double percent) {
  if (tracker) tracker->set_progress(percent);
}

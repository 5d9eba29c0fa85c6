// What every step of a merge is handed alongside its images: the run's settings, the
// sink for debug pictures and the progress tracker. Both pointers may be null.
#pragma once

#include <string>

#include "blend/blend_options.h"
#include "dumps/debug_dumps.h"

class progress_tracker;

struct blend_context {
  const blend_options& options;
  debug_dumps* dumps = nullptr;
  progress_tracker* progress = nullptr;

  void seam_dump(const std::string& name, const dib_ptr& image) const {
    if (dumps) dumps->seam(name, image);
  }
  // Asked before building a picture that exists only to be dumped.
  bool pyramid_dumps_on() const { return dumps && dumps->pyramid_enabled(); }
  void pyramid_dump(const std::string& name, const dib_ptr& image) const {
    if (dumps) dumps->pyramid(name, image);
  }
};

// The debug pictures of a run (-SeamVerbose, -PyramidVerbose): one sink per run that
// names every picture after the current merge step ("0000_Verb_", "0001_Verb_", ...).
#pragma once

#include <cstdint>
#include <string>

#include "image/dib.h"

class debug_dumps {
 public:
  debug_dumps(bool seam_verbose, bool pyramid_verbose) : seam_(seam_verbose), pyramid_(pyramid_verbose) {}

  // Starts the next merge step's prefix; before the first call nothing is written.
  void next_prefix();
  const std::string& prefix() const { return prefix_; }

  // prefix + "_" + name + extension, e.g. "0000_Verb__DBG_06_SeamError.png".
  std::string file_name(const std::string& name, const char* extension) const;

  bool seam_enabled() const { return seam_ && !prefix_.empty(); }
  bool pyramid_enabled() const { return pyramid_ && !prefix_.empty(); }

  // A seam picture (PNG) that cannot be written is skipped: it never ends the merge.
  void seam(const std::string& name, const dib_ptr& image) const;
  // A pyramid picture (TIFF) is saved like the output, failures included.
  void pyramid(const std::string& name, const dib_ptr& image) const;

 private:
  bool seam_, pyramid_;
  int32_t counter_ = 0;
  std::string prefix_;
};

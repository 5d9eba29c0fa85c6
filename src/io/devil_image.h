// DevIL set-up shared by loading and saving: the one-time library start, an owner of
// one bound image name, and the library's error texts.
#pragma once

#include <IL/il.h>

#include <string>

// ilInit and iluInit, once per process (function-local static): both only set up tables,
// and every load or save sets the states it relies on itself.
void start_devil();

// Empties DevIL's error stack, so that the code read after a call is that call's own.
void clear_devil_errors();

std::string devil_error_text(ILenum code);

// Generates and binds one image name; deletes it on every way out.
class devil_image {
 public:
  devil_image();
  ~devil_image();
  devil_image(const devil_image&) = delete;
  devil_image& operator=(const devil_image&) = delete;

 private:
  ILuint name_ = 0;
};

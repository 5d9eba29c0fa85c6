#include "io/devil_image.h"

#include <IL/ilu.h>

void start_devil() {
  static const bool started = [] {
    ilInit();
    iluInit();
    return true;
  }();
  (void)started;
}

void clear_devil_errors() {
  while (ilGetError() != IL_NO_ERROR) {
  }
}

std::string devil_error_text(ILenum code) {
  ILconst_string text = iluErrorString(code);
  return text ? std::string(text) : std::string();
}

devil_image::devil_image() {
  start_devil();
  ilGenImages(1, &name_);
  ilBindImage(name_);
}

devil_image::~devil_image() { ilDeleteImages(1, &name_); }

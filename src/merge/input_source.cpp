#include "merge/input_source.h"

#include "io/load_image.h"

dib_ptr input_source::load(size_t i, progress_tracker* progress) const {
  dib_ptr image = std::move(loaded_[i]);
  if (!image) image = dib_ptr(load_input_image(inputs_[i].file_name, progress));
  if (correction_) apply_correction(*image, correction_->inputs[i], correction_->falloff);
  return image;
}

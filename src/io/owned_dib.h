// Owner of a dib that is handed out raw (reference count 0) once it is complete, so
// that a failed load destroys its half-filled image.
#pragma once

#include <memory>

#include "image/dib.h"

struct dib_destroyer {
  void operator()(dib* image) const { image->destroy(); }
};

using owned_dib = std::unique_ptr<dib, dib_destroyer>;

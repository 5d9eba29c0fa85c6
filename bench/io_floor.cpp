// The input/output floor of a merge: read every input with the program's own loader,
// paste it at its offset (plain copy, no seam, no blend) and write one canvas-sized
// output with the program's own saver. No merge can run faster than this.
//
//   io_floor OUTPUT WORD...   where WORD... is a set's args.txt: inputs, -xoff X,
//                             -yoff Y and -HorWrap D, in quiltmerge's order
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/dib.h"
#include "image/region_copy.h"
#include "io/load_image.h"
#include "io/save_image.h"

namespace {
struct placed_input {
  std::string file;
  int32_t x = 0, y = 0;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: io_floor OUTPUT input [-xoff X] [-yoff Y] input ... [-HorWrap D]\n");
    return 2;
  }
  try {
    std::vector<placed_input> inputs;
    int32_t x = 0, y = 0, period = 0;
    for (int i = 2; i < argc; ++i) {
      const std::string word = argv[i];
      if (word == "-xoff" || word == "-yoff" || word == "-HorWrap") {
        if (i + 1 >= argc) throw std::runtime_error(word + " needs a value");
        const int32_t value = std::stoi(argv[++i]);
        (word == "-xoff" ? x : word == "-yoff" ? y : period) = value;
      } else if (!word.empty() && word[0] == '-') {
        throw std::runtime_error("unknown option " + word);
      } else {
        inputs.push_back({word, x, y});
      }
    }
    if (inputs.empty()) throw std::runtime_error("no input");

    // Every input stays loaded until the canvas exists: its size needs all of theirs, and
    // reading a file twice would inflate the floor.
    const auto start = std::chrono::steady_clock::now();
    int32_t width = 0, height = 0;
    bool floating = false;
    std::vector<dib_ptr> loaded;
    loaded.reserve(inputs.size());
    for (const placed_input& in : inputs) {
      dib_ptr image(load_input_image(in.file, nullptr));
      if (loaded.empty()) floating = image->bits_per_pixel() > 32;
      width = std::max(width, in.x + image->width());
      height = std::max(height, in.y + image->height());
      loaded.push_back(image);
    }
    const double load_s = seconds_since(start);

    const int32_t canvas_width = period > 0 ? period : width;
    dib_ptr canvas(floating ? create_float_dib(canvas_width, height) : create_dib(canvas_width, height, 32));
    for (size_t i = 0; i < inputs.size(); ++i) {
      copy_dib(loaded[i].get(), canvas.get(), inputs[i].x, inputs[i].y, nullptr);
      // A piece past the period shows again at the left end of a closed panorama.
      if (period > 0 && inputs[i].x + loaded[i]->width() > period)
        copy_dib(loaded[i].get(), canvas.get(), inputs[i].x - period, inputs[i].y, nullptr);
      loaded[i].reset();
    }
    const double paste_s = seconds_since(start) - load_s;

    save_image(argv[1], canvas.get(), nullptr);
    const double total_s = seconds_since(start);
    std::printf("io_floor: %zu inputs, canvas %dx%d %s, load %.2f s, paste %.2f s, save %.2f s, total %.2f s\n",
                inputs.size(), canvas_width, height, floating ? "float" : "8-bit", load_s, paste_s,
                total_s - load_s - paste_s, total_s);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "io_floor: %s\n", e.what());
    return 1;
  }
  return 0;
}

#include "io/devil_load.h"

#include <IL/il.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "image/dib.h"
#include "io/devil_decode.h"
#include "io/devil_image.h"
#include "io/failure_cause.h"
#include "io/image_size_check.h"
#include "io/owned_dib.h"
#include "io/pixel_rows.h"
#include "platform/child_process.h"
#include "platform/shared_word.h"
#include "progress/progress_tracker.h"

namespace {
// What the child sends before the pixels, which follow row by row when supported.
struct devil_answer {
  int32_t refused = 0;
  int32_t fault = 0;         // a devil_file_fault::kind
  char fault_cause[240] = {};
  int32_t overran = 0;
  int32_t loaded = 0;
  uint32_t error = 0;
  int32_t supported = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytes_per_pixel = 0;
};

// A few seconds for any file, more for large ones: a healthy decode of a 20 MB photo
// takes well under a second, so only a decoder that loops runs into this.
uint32_t decode_deadline_ms(uint64_t file_bytes) {
  return static_cast<uint32_t>(std::min<uint64_t>(5000 + file_bytes / 1000, 600000));
}

// The child's exit status when a decoder wrote past a buffer after the answer was sent.
constexpr int overran_status = 3;

int answer_from_child(int fd, const std::string& file_name, uint64_t budget) {
  int status = 1;
  devil_decode(file_name, budget, [&](const devil_pixels& pixels) {
    devil_answer answer;
    answer.refused = pixels.refused;
    answer.fault = static_cast<int32_t>(pixels.fault.what);
    pixels.fault.cause.copy(answer.fault_cause, sizeof answer.fault_cause - 1);
    answer.overran = pixels.overran;
    answer.loaded = pixels.loaded;
    answer.error = pixels.error;
    answer.supported = pixels.supported;
    answer.width = pixels.width;
    answer.height = pixels.height;
    answer.bytes_per_pixel = pixels.bytes_per_pixel;
    if (!write_all(fd, &answer, sizeof answer)) return;
    if (pixels.loaded && pixels.error == IL_NO_ERROR && pixels.supported && !pixels.overran &&
        !write_all(fd, pixels.data, static_cast<size_t>(pixels.width) * pixels.height * pixels.bytes_per_pixel))
      return;
    status = 0;
  });
  // The library frees its buffers after the answer: a write past one of them shows only now.
  return status == 0 && !devil_blocks_intact() ? overran_status : status;
}

std::string load_error(ILenum code, const std::string& file_name) {
  // Some loaders fail without setting a code, whose text would be "no error".
  const std::string text = code == IL_NO_ERROR ? "unreadable file" : devil_error_text(code);
  return "DEVIL Error : " + text + " \n While loading image: " + file_name;
}

const char* const overran_cause = "decoder wrote past the end of its buffer (the file is damaged)";

// The decoder died, looped or went silent: the library's message for that, and why. A
// decoder refused memory for what the file claims ends as out of memory.
[[noreturn]] void throw_decoder_failure(const child_process::outcome& end, const std::string& file_name,
                                        uint32_t deadline_ms, const std::atomic<uint64_t>& refused) {
  const uint64_t refused_bytes = refused.load();
  std::string cause;
  if (end.how == child_process::ending::timed_out)
    cause = "decoder gave no answer within " + std::to_string((deadline_ms + 999) / 1000) + " s";
  else if (end.how == child_process::ending::signalled)
    cause = "decoder crashed (signal " + std::to_string(end.code) + ")";
  else if (end.code == overran_status)
    cause = overran_cause;
  else
    cause = "decoder stopped without an answer (exit status " + std::to_string(end.code) + ")";
  if (refused_bytes > 0)
    cause += " after a request for " + std::to_string((refused_bytes + (1 << 20) - 1) >> 20) + " MB was refused";
  throw std::runtime_error(
      with_cause(load_error(refused_bytes > 0 ? IL_OUT_OF_MEMORY : IL_INTERNAL_ERROR, file_name), cause));
}
}  // namespace

dib* devil_load(const std::string& file_name, progress_tracker* progress) {
  stage_scope stage(progress, "IL Loading from file");
  start_devil();
  std::error_code ignored;
  const uintmax_t size = std::filesystem::file_size(file_name, ignored);
  const uint64_t file_bytes = size == static_cast<uintmax_t>(-1) ? 0 : size;
  const uint32_t deadline_ms = decode_deadline_ms(file_bytes);
  const uint64_t budget = devil_memory_budget(file_bytes);
  shared_word refused;
  child_process child(
      [&](int fd) {
        set_devil_refusal_note(&refused.value());
        return answer_from_child(fd, file_name, budget);
      },
      deadline_ms);

  devil_answer answer;
  if (!child.read(&answer, sizeof answer)) throw_decoder_failure(child.finish(), file_name, deadline_ms, refused.value());
  if (answer.refused)
    throw std::runtime_error(with_cause("Image Load Error: Unsupported file format: " + file_name,
                                        "quiltmerge reads TIFF, JPEG, PNG, BMP, GIF, PNM, PSD, TGA, PCX and SGI files"));
  if (answer.fault == static_cast<int32_t>(devil_file_fault::kind::cut_short))
    throw std::runtime_error(with_cause("Image Load Error: Image data cut short: " + file_name, answer.fault_cause));
  if (answer.fault == static_cast<int32_t>(devil_file_fault::kind::damaged))
    throw std::runtime_error(with_cause("Image Load Error: Damaged file: " + file_name, answer.fault_cause));
  if (answer.overran) throw std::runtime_error(with_cause(load_error(IL_INTERNAL_ERROR, file_name), overran_cause));
  if (!answer.loaded || answer.error != IL_NO_ERROR)
    throw std::runtime_error(with_cause(load_error(answer.error, file_name),
                                        answer.error == IL_NO_ERROR ? "the decoder gave up without naming a reason: the file is damaged or of a variant it cannot read" : ""));
  stage.progress(75);
  stage.progress(80);
  if (!answer.supported || (answer.bytes_per_pixel != 3 && answer.bytes_per_pixel != 4))
    throw std::runtime_error("not supported image pixel format, must be 24 or 32 bit per pixel " +
                             std::string(" \n While loading image: ") + file_name);
  check_image_size(answer.width, answer.height, file_name);
  const int32_t width = answer.width, height = answer.height, bytes_per_pixel = answer.bytes_per_pixel;
  // Deliberately matches anywhere in the name (scan.tif.png), not only the extension.
  const bool invert_alpha =
      file_name.find(".tif") != std::string::npos || file_name.find(".TIF") != std::string::npos;

  // The decode is done; the pixels get time of their own, however slowly this side stores them.
  const uint64_t data_bytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) *
                              static_cast<uint32_t>(bytes_per_pixel);
  const uint32_t transfer_ms = decode_deadline_ms(data_bytes / 10);
  child.set_deadline(transfer_ms);
  owned_dib result(create_dib(width, height, 32));
  std::vector<uint8_t> samples(static_cast<size_t>(width) * bytes_per_pixel);
  for (int32_t i = 0; i < height; ++i) {
    if (!child.read(samples.data(), samples.size())) throw_decoder_failure(child.finish(), file_name, transfer_ms, refused.value());
    locked_row row(*result, i);
    rgb_bytes_to_bgra32(samples.data(), bytes_per_pixel, invert_alpha, row.bytes(), width);
    // Whole percents, as the progress line has always been given.
    stage.progress(static_cast<double>(80 + int64_t{15} * i / height));  // NOLINT(bugprone-integer-division)
  }
  // Pixels from a child that then crashed or found its memory damaged are not to be trusted.
  if (const child_process::outcome end = child.finish(); end.how != child_process::ending::exited || end.code != 0)
    throw_decoder_failure(end, file_name, transfer_ms, refused.value());
  stage.progress(100);
  return result.release();
}

#include "run/run_driver.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <utility>

#include "dumps/debug_dumps.h"
#include "exposure/estimate_exposure.h"
#include "exposure/exposure_report.h"
#include "image/dib.h"
#include "image/irect.h"
#include "io/load_image.h"
#include "io/label_map_save.h"
#include "io/save_image.h"
#include "progress/console_progress.h"
#include "platform/memory_status.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "merge/input_source.h"
#include "merge/pairwise_merge.h"
#include "merge/seam_labels.h"
#include "merge/wrap_closing.h"
#include "run/colour_profiles.h"
#include "run/output_canvas.h"

namespace {
dib_ptr loaded(const input_source& inputs, int i, progress_tracker* progress) {
  profile_scope loading("load image");
  return inputs.load(i, progress);
}

// Reads the next input while the current one merges. Only TIFF: its decoder is ours and
// libtiff keeps no shared state, while DevIL is one global library state.
class next_input {
 public:
  void start(const input_source& inputs, int i) {
    if (i >= static_cast<int>(inputs.size()) || thread_count() < 2 || !has_tiff_extension(inputs[i].file_name))
      return;
    index_ = i;
    pending_ = std::async(std::launch::async, [&inputs, i] { return inputs.load(i, nullptr); });
  }

  // Input i, read beside the last merge when it was started, or now.
  dib_ptr take(const input_source& inputs, int i, progress_tracker* progress) {
    if (index_ != i || !pending_.valid()) return loaded(inputs, i, progress);
    profile_scope waiting("load image");
    return pending_.get();
  }

 private:
  int index_ = -1;
  std::future<dib_ptr> pending_;
};

// The correction for every input, estimated from their overlaps (and across the wrap's
// edge when the wrap is closed), with one line per input on the console when asked. The
// first inputs stay loaded for the merges while they take at most a quarter of the free
// memory, and 1 GiB.
exposure_estimate estimated_exposure(const input_list& inputs, const exposure_options& exposure,
                                     const wrap_options& wrap, bool wrap_on, bool report, progress_tracker& progress) {
  profile_scope estimating("exposure estimate");
  std::vector<exposure_input> placed;
  std::vector<std::string> names;
  for (const input_image_spec& in : inputs) {
    placed.push_back({in.file_name, in.x_offset, in.y_offset});
    names.push_back(in.file_name);
  }
  const int32_t period = !wrap_on ? 0 : wrap.HorWrap >= 1 ? wrap.HorWrap : -1;
  const uint64_t keep = std::min<uint64_t>(read_memory_status().avail_phys / 4, uint64_t{1} << 30);
  exposure_estimate estimate = estimate_exposure(placed, exposure, period, &progress, keep);
  if (report) std::printf("\n%s", exposure_report(estimate.correction, names).c_str());
  return estimate;
}
}  // namespace

void run_driver(const input_list& inputs, const std::string& output_name, const blend_options& blend,
                const wrap_options& wrap, progress_tracker* injected, const output_options& output,
                const exposure_options& exposure) {
  const int n = static_cast<int>(inputs.size());
  if (n < 2) return;
  save_settings file = output.file;
  {
    colour_profiles profiles = read_colour_profiles(inputs);
    if (const std::string warning = profile_warning(inputs, profiles); !warning.empty())
      std::printf("%s\n", warning.c_str());
    if (!profiles.output.empty() && !has_tiff_extension(output_name))
      std::printf("Warning: %s is written without the colour profile of %s: only TIFF outputs carry one\n",
                  output_name.c_str(), inputs[0].file_name.c_str());
    file.icc_profile = std::move(profiles.output);
  }
  std::unique_ptr<console_progress> console;
  if (!injected) console = std::make_unique<console_progress>();
  progress_tracker& progress = injected ? *injected : *console;
  const bool wrap_on = wrap.HorWrap > 0 || wrap.WrapMode > 0;
  debug_dumps dumps(blend.SeamVerbose, blend.PyramidVerbose);
  const blend_context context{blend, &dumps, &progress};

  exposure_estimate estimate;
  if (exposure.active()) {
    // The estimate takes the first tenth; the shares below start where it ended.
    progress.set_step_end(10);
    estimate = estimated_exposure(inputs, exposure, wrap, wrap_on, wrap.profile, progress);
  }
  const input_source source(inputs, &estimate.correction, std::move(estimate.loaded));

  dib_ptr result;
  irect acc_rect;
  std::unique_ptr<seam_labels> labels;
  progress.set_step_end(wrap_on ? 60 : 95);
  progress.begin_stage("");
  {
    const double first_share = 10.0 / n;
    progress.set_step_end(first_share);
    result = loaded(source, 0, &progress);
    acc_rect = placed_rect(inputs[0].x_offset, inputs[0].y_offset, result->width(), result->height());
    if (!output.seams_name.empty()) labels = std::make_unique<seam_labels>(*result, acc_rect);
    next_input next;
    for (int i = 1; i < n; ++i) {
      progress.set_step_end(first_share + (99 - first_share) * i / (n - 1));
      stage_scope merge(&progress, "");
      merge.step_end(10);
      dib_ptr image = next.take(source, i, &progress);
      next.start(source, i + 1);
      merge.step_end(100);
      result = pairwise_merge(result, image, inputs[i].x_offset, inputs[i].y_offset, acc_rect, context,
                              {labels.get(), static_cast<uint8_t>(i + 1)});
    }
  }
  progress.end_stage();

  if (wrap_on) {
    progress.set_step_end(95);
    result = close_horizontal_wrap(source, wrap, acc_rect, result, context, labels.get());
  }
  result = fit_to_output_canvas(result, placed_rect(acc_rect.left, acc_rect.top, result->width(), result->height()),
                                wrap_on ? result->width() : 0, output.canvas, labels.get(), file.position);
  progress.set_step_end(99);
  // The label map is written first and put in place only after the output: a run that
  // fails at either leaves both files as they were.
  std::unique_ptr<atomic_output> seams;
  if (labels) {
    profile_scope saving("save seams");
    seams = label_map_write(output.seams_name, labels->row(0), labels->rect().width(), labels->rect().height());
  }
  {
    profile_scope saving("save image");
    save_image(output_name, result.get(), &progress, file);
  }
  if (seams) seams->commit();
  progress.refresh();
  progress.set_progress(100);
}

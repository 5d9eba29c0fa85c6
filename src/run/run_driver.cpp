#include "run/run_driver.h"

#include <cstdio>
#include <future>
#include <memory>
#include <utility>

#include "dumps/debug_dumps.h"
#include "image/dib.h"
#include "image/irect.h"
#include "io/load_image.h"
#include "io/label_map_save.h"
#include "io/save_image.h"
#include "progress/console_progress.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "merge/pairwise_merge.h"
#include "merge/seam_labels.h"
#include "merge/wrap_closing.h"
#include "run/colour_profiles.h"
#include "run/output_canvas.h"

namespace {
dib_ptr loaded(const std::string& file_name, progress_tracker* progress) {
  profile_scope loading("load image");
  return dib_ptr(load_input_image(file_name, progress));
}

// Reads the next input while the current one merges. Only TIFF: its decoder is ours and
// libtiff keeps no shared state, while DevIL is one global library state.
class next_input {
 public:
  void start(const input_list& inputs, int i) {
    if (i >= static_cast<int>(inputs.size()) || thread_count() < 2 || !has_tiff_extension(inputs[i].file_name))
      return;
    index_ = i;
    pending_ = std::async(std::launch::async,
                          [name = inputs[i].file_name] { return dib_ptr(load_input_image(name, nullptr)); });
  }

  // Input i, read beside the last merge when it was started, or now.
  dib_ptr take(const input_list& inputs, int i, progress_tracker* progress) {
    if (index_ != i || !pending_.valid()) return loaded(inputs[i].file_name, progress);
    profile_scope waiting("load image");
    return pending_.get();
  }

 private:
  int index_ = -1;
  std::future<dib_ptr> pending_;
};
}  // namespace

void run_driver(const input_list& inputs, const std::string& output_name, const blend_options& blend,
                const wrap_options& wrap, progress_tracker* injected, const output_options& output) {
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

  dib_ptr result;
  irect acc_rect;
  std::unique_ptr<seam_labels> labels;
  progress.set_step_end(wrap_on ? 60 : 95);
  progress.begin_stage("");
  {
    const double first_share = 10.0 / n;
    progress.set_step_end(first_share);
    result = loaded(inputs[0].file_name, &progress);
    acc_rect = placed_rect(inputs[0].x_offset, inputs[0].y_offset, result->width(), result->height());
    if (!output.seams_name.empty()) labels = std::make_unique<seam_labels>(*result, acc_rect);
    next_input next;
    for (int i = 1; i < n; ++i) {
      progress.set_step_end(first_share + (99 - first_share) * i / (n - 1));
      stage_scope merge(&progress, "");
      merge.step_end(10);
      dib_ptr image = next.take(inputs, i, &progress);
      next.start(inputs, i + 1);
      merge.step_end(100);
      result = pairwise_merge(result, image, inputs[i].x_offset, inputs[i].y_offset, acc_rect, context,
                              {labels.get(), static_cast<uint8_t>(i + 1)});
    }
  }
  progress.end_stage();

  if (wrap_on) {
    progress.set_step_end(95);
    result = close_horizontal_wrap(inputs, wrap, acc_rect, result, context, labels.get());
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

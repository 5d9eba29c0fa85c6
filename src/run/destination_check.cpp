#include "run/destination_check.h"

#include "io/atomic_output.h"
#include "platform/file_identity.h"
#include "run/command_line_error.h"

namespace {
// Input names, as existing or future files, compared with one destination.
void refuse_inputs(const input_list& inputs, const std::string& option, const std::string& name,
                   const std::string& what) {
  const file_identity target = identify(name);
  for (const input_image_spec& input : inputs)
    if (identify(input.file_name) == target)
      throw command_line_error(option + " " + name + " names the input " + input.file_name + ": writing the " +
                                   what + " would replace it",
                               false);
}

// Makes the new file where the real write will make it, and drops it: whatever would stop
// the write (missing folder, no permission, read-only, a folder, a pipe) stops it now.
void probe(const std::string& name, const std::string& failure_message) {
  const atomic_output trial(name, failure_message);
}
}  // namespace

void check_destinations(const input_list& inputs, const destinations& targets) {
  refuse_inputs(inputs, "-o", targets.output, "output");
  if (!targets.seams.empty()) {
    refuse_inputs(inputs, "--save-seams", targets.seams, "label map");
    if (identify(targets.seams) == identify(targets.output))
      throw command_line_error("--save-seams " + targets.seams + " and -o " + targets.output +
                                   " name the same file: the label map would replace the output",
                               false);
  }
  probe(targets.output, "Can't write the output: " + targets.output);
  if (!targets.seams.empty()) probe(targets.seams, "Can't write the seam label map: " + targets.seams);
  if (targets.profile) probe("profile.txt", "Can't write profile.txt");
  if (targets.tiff_dumps) probe("quiltmerge_dump.tif", "Can't write the pyramid dumps in the current folder");
}

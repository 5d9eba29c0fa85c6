#include "image/leak_tracker.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/diagnostics.h"

leak_tracker dib_leaks;
leak_tracker storage_leaks;

namespace {
constexpr std::size_t text_buffer_size = 4096;
constexpr char continue_question[] = "\nContinue execution ?";
}  // namespace

leak_tracker::leak_tracker() : leak_tracker(ask_yes_no, debug_output) {}

leak_tracker::leak_tracker(prompt ask, output debug) : ask_(std::move(ask)), debug_(std::move(debug)) {
  already_reported_ = false;
}

leak_tracker::~leak_tracker() {
  if (!run_exit_report()) {
    // The process is already inside its exit sequence, where calling std::exit again
    // is undefined; flush what was written and leave at once.
    std::fflush(nullptr);
    std::_Exit(1);
  }
}

void leak_tracker::add_entry(const void* key, const char* file, int line) {
  entries_[key] = entry{file, line};
}

void leak_tracker::remove_entry(const void* key) { entries_.erase(key); }

bool leak_tracker::run_exit_report() {
  if (!already_reported_) {
    already_reported_ = true;
    for (const auto& [key, e] : entries_) {
      char text[text_buffer_size];
      std::snprintf(text, sizeof text, "Memory allocated and non freed in,\n file: %s \n line: %d",
                    e.file ? e.file : "", e.line);
      char question[text_buffer_size];
      constexpr int room = static_cast<int>(text_buffer_size - sizeof continue_question);
      std::snprintf(question, sizeof question, "%.*s%s", room, text, continue_question);
      debug_(text);
      if (!ask_("Message", question)) return false;
    }
  }
  entries_.clear();
  return true;
}

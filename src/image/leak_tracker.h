// Diagnostic table of live allocations; what is left when a tracker dies at exit is
// reported as a leak, each with a Yes/No prompt whose No ends the process with code 1.
#pragma once

#include <cstddef>
#include <functional>
#include <map>

class leak_tracker {
 public:
  using prompt = std::function<bool(const char* caption, const char* question)>;  // true: Yes
  using output = std::function<void(const char* text)>;

  // Reports through debug_output and ask_yes_no.
  leak_tracker();
  leak_tracker(prompt ask, output debug);
  // Runs the exit report; No at the prompt ends the process here.
  ~leak_tracker();
  leak_tracker(const leak_tracker&) = delete;
  leak_tracker& operator=(const leak_tracker&) = delete;

  // A key added twice keeps the newer place; removing an unknown key does nothing.
  void add_entry(const void* key, const char* file, int line);
  void remove_entry(const void* key);
  std::size_t size() const { return entries_.size(); }

  // Reports every entry in key order unless some tracker has reported already, then
  // empties the table. Returns false, with the table left as it is, when the answer
  // to a prompt was No. Texts longer than 4095 characters are cut; the question keeps
  // its closing "Continue execution ?" and cuts the entry text instead.
  bool run_exit_report();

 private:
  struct entry {
    const char* file;
    int line;
  };

  std::map<const void*, entry> entries_;
  prompt ask_;
  output debug_;

  // Shared by every tracker: only the first one destroyed reports.
  static inline bool already_reported_ = false;
};

// The two process-wide trackers, for image objects and for their storage blocks.
extern leak_tracker dib_leaks;
extern leak_tracker storage_leaks;

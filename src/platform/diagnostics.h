// The diagnostic channel (standard error) and the Yes/No prompt (controlling terminal)
// that the exit-time leak report uses.
#pragma once

#include <cstdio>

// Writes the text and a line end to standard error, so consecutive messages stay apart.
void debug_output(const char* text);

// Asks on the controlling terminal; true means Yes. Without a terminal the answer is
// Yes, so a batch run never blocks.
bool ask_yes_no(const char* caption, const char* question);

// The dialogue itself: shows caption and question on out and reads answers from in
// until one is y/yes or n/no (any case). End of input counts as Yes.
bool ask_yes_no_on(std::FILE* in, std::FILE* out, const char* caption, const char* question);

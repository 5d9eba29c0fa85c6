// Inputs must be regular files: each is read more than once (its colour profile and position
// tags before the decode, again by wrap closing or when named twice) and libtiff seeks in it,
// while a named pipe or a device gives its bytes only once, or never ends.
#pragma once

#include <string>

// False for a name that exists and is not a regular file (links followed); true otherwise,
// also when it cannot be examined, so that the reader's own message says why.
bool is_regular_input(const std::string& file_name);

// Throws runtime_error "Image Load Error: Not a regular file: NAME" with what it is instead,
// without opening it (opening a named pipe waits for a writer).
void check_regular_input(const std::string& file_name);

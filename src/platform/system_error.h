// Text of the last system error (errno), "no error" when there is none.
#pragma once

#include <string>

std::string system_error_text();
void clear_system_error();

// The whole program behind main: banner, command line, run, error report, timing
// line; returns the exit status (0 done, 1 the run failed, 2 the command line is wrong).
#pragma once

int run_program(int argc, const char* const* argv);

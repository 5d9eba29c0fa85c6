// Program entry: banner, command line, the run, the timing line.
#include <cstdio>

int main() {
  std::printf(" %s %s started, please wait...\n", "quiltmerge", "1.2.4b");
  return 0;
}

// Test helper: appends its arguments, one a line, to "argv.out" in the current folder, and a
// "--" line after them, so a test sees exactly what each start of the program received.
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* out = std::fopen("argv.out", "ab");
  if (!out) return 1;
  for (int i = 1; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  std::fputs("--\n", out);
  return std::fclose(out) == 0 ? 0 : 1;
}

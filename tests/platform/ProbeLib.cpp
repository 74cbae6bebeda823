// Test helper: a library with one entry point, copied under the names the loader looks for.
extern "C" int ProbeAnswer() {
  return 42;
}

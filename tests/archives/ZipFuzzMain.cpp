// libFuzzer entry: assigning ZipFileName on arbitrary bytes.
#include "ZipFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ZipFuzzOne(data, size);
}

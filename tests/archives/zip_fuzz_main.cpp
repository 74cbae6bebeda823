// libFuzzer entry: assigning ZipFileName on arbitrary bytes.
#include "zip_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ZipFuzzOne(data, size);
}

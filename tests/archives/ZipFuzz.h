#pragma once
// The directory reader fed with arbitrary bytes: shared by the libFuzzer target and the
// regression test that runs every seed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes the bytes to a scratch file and assigns it to a TZip; 0 always (crashes are the finding).
int ZipFuzzOne(const uint8_t* data, size_t size);

// Seed archives built with the test writer: sound ones and damaged variants.
std::vector<std::string> ZipFuzzSeeds();

#pragma once
// What the fake unzip library records of its last call (see FakeUnzDll.cpp).
#include <string>
#include <vector>

#include "archives/UnzipParams.h"

struct FakeRecord {
  UnzipParams params{};
  std::string password, archive, folder;
  std::vector<std::string> specs;
  int calls = 0;
};

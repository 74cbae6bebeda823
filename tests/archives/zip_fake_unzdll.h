#pragma once
// What the fake unzip library records of its last call (see zip_fake_unzdll.cpp).
#include <string>
#include <vector>

#include "archives/UnzipParams.h"

struct FakeRecord {
  UnzipParams params{};
  std::string password, archive, folder;
  std::vector<std::string> specs;
  int calls = 0;
};

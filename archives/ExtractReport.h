#pragma once
// What a package lists and what its extraction left out, entry by entry. The extraction step
// checks every listed file against the work folder and names the reason for each one missing,
// whichever library did the work.
#include <cstdint>
#include <string>

// A file entry (not a folder) as the package's own listing gives it.
struct TPackageEntry {
  std::string Name;  // as stored, with its folders ("Maps/desert.vkb")
  int64_t Size = 0;  // uncompressed, as listed
};

// An entry the extractor did not write as a regular file, and why: "unsafe name", "link not
// followed", "compression method Deflate64 not supported", "password needed", "damaged data
// (CRC)", "missing volume", "no space".
struct TSkippedEntry {
  std::string Name;
  std::string Reason;
};

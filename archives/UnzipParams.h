#pragma once
// The parameter block and callback record exchanged with the unzip library. Declared once and
// included by both sides (TZip and the library), so a replacement library built against this
// header sees the same layout. The 32-bit fields stay 32-bit and the address fields are
// pointer-sized: on a 32-bit build the block is exactly 148 bytes, the record 540.
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VV_STDCALL __stdcall
#else
#define VV_STDCALL
#endif

#if defined(_WIN32)
#define VV_UNZDLL_EXPORT extern "C" __declspec(dllexport)
#else
#define VV_UNZDLL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Version the caller asks for and the least library version it accepts.
inline constexpr int32_t kUnzipParamsVersion = 160;

// Callback actions.
inline constexpr int32_t kUnzActionBeginFile = 1;  // text: name; number: file size
inline constexpr int32_t kUnzActionProgress = 2;   // number: bytes of this step
inline constexpr int32_t kUnzActionEndBatch = 3;
inline constexpr int32_t kUnzActionMessage = 4;       // text: message line
inline constexpr int32_t kUnzActionBatchCount = 5;    // number: files in the batch
inline constexpr int32_t kUnzActionBatchSize = 6;     // number: total bytes of the batch
inline constexpr int32_t kUnzActionPassword = 8;      // text in: name, out: password
inline constexpr int32_t kUnzActionCrcError = 9;      // answer flag out: 1 extract anyway
inline constexpr int32_t kUnzActionOverwrite = 10;    // answer flag in: bit 0 existing older
inline constexpr int32_t kUnzActionFileSkipped = 11;  // number: reason code; text: name

// Reason codes the bundled library reports with kUnzActionFileSkipped.
inline constexpr int32_t kUnzSkipUnsafeName = 1;    // '..', absolute, empty, escapes the folder
inline constexpr int32_t kUnzSkipNotRegular = 2;    // link, device or other non-file entry
inline constexpr int32_t kUnzSkipKeptExisting = 3;  // overwrite declined
inline constexpr int32_t kUnzSkipNoPassword = 4;    // encrypted and no (right) password
inline constexpr int32_t kUnzSkipCrcError = 5;      // corrupted and not wanted anyway
inline constexpr int32_t kUnzSkipReadError = 6;     // the archive could not be read
inline constexpr int32_t kUnzSkipWriteError = 7;    // the file could not be written
inline constexpr int32_t kUnzSkipLink = 8;          // a symbolic link, never followed
inline constexpr int32_t kUnzSkipMethod = 9;        // compression method not supported
inline constexpr int32_t kUnzSkipOversized = 10;    // more data than its listed size
inline constexpr int32_t kUnzSkipNoSpace = 11;      // the drive ran full

inline constexpr size_t kUnzTextSize = 512;

struct UnzipCallbackInfo {
  int32_t value0;
  void* caller;  // the caller field of UnzipParams, handed back unchanged
  int32_t value8;
  int32_t value12;
  int32_t action;
  int32_t answerFlag;
  int32_t number;
  char text[kUnzTextSize];
};

using UnzipCallbackFunc = int32_t(VV_STDCALL*)(UnzipCallbackInfo* info);

// One file specification: the text pointer, then zero bytes up to 72 on a 32-bit build.
struct UnzipFileSpec {
  const char* fileSpec;
  uint8_t reserved[68];
};

struct UnzipParams {
  int32_t value0;   // 0
  void* caller;     // the calling TZip
  int32_t version;  // kUnzipParamsVersion
  UnzipCallbackFunc callback;
  int32_t flag16;        // 0
  int32_t flag20;        // 0
  const char* password;  // nullptr when none
  int32_t flag28;        // option flag
  int32_t flag32;        // 0
  int32_t flag36;        // 0
  int32_t flag40;        // -1
  int32_t flag44;        // 0
  int32_t flag48;        // option flag
  int32_t flag52;        // option flag
  int32_t flag56;        // option flag: keep the entries' folders
  int32_t flag60;        // option flag
  int32_t fileSpecCount;
  const char* archiveName;
  UnzipFileSpec* fileSpecs;  // nullptr when fileSpecCount is 0
  uint8_t reserved76[28];
  int32_t value104;           // 3
  const char* extractFolder;  // ends in a path separator
  uint8_t reserved112[32];
  int32_t value144;  // 7
};

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
static_assert(sizeof(UnzipParams) == 148);
static_assert(offsetof(UnzipParams, archiveName) == 68);
static_assert(offsetof(UnzipParams, extractFolder) == 108);
static_assert(offsetof(UnzipParams, value144) == 144);
static_assert(sizeof(UnzipFileSpec) == 72);
static_assert(offsetof(UnzipCallbackInfo, text) == 28);
#endif

// The two entry points, bound by name.
using GetUnzDllVersionFunc = uint32_t(VV_STDCALL*)();
using UnzDllExecFunc = int32_t(VV_STDCALL*)(UnzipParams* params);

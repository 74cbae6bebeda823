// A fake unzip library for the tests: records the parameter block it is handed and reports a
// version the test chooses.
#include "FakeUnzDll.h"

namespace {
uint32_t g_version = kUnzipParamsVersion;
FakeRecord g_record;
}  // namespace

VV_UNZDLL_EXPORT void FakeSetVersion(uint32_t version) {
  g_version = version;
}

VV_UNZDLL_EXPORT const FakeRecord* FakeLastCall() {
  return &g_record;
}

VV_UNZDLL_EXPORT uint32_t VV_STDCALL GetUnzDllVersion() {
  return g_version;
}

VV_UNZDLL_EXPORT int32_t VV_STDCALL UnzDllExec(UnzipParams* params) {
  g_record = FakeRecord{};
  g_record.params = *params;
  g_record.calls = 1;
  if (params->password) g_record.password = params->password;
  g_record.archive = params->archiveName;
  g_record.folder = params->extractFolder;
  for (int32_t i = 0; i < params->fileSpecCount; ++i)
    g_record.specs.push_back(params->fileSpecs[i].fileSpec);
  return 42;
}

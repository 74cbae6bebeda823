#include "archives/RAR_DLL.h"

namespace RAR_DLL {
TRAROpenArchive RAROpenArchive = nullptr;
TRAROpenArchiveEx RAROpenArchiveEx = nullptr;
TRARCloseArchive RARCloseArchive = nullptr;
TRARReadHeader RARReadHeader = nullptr;
TRARReadHeaderEx RARReadHeaderEx = nullptr;
TRARProcessFile RARProcessFile = nullptr;
TRARSetCallback RARSetCallback = nullptr;
TRARSetChangeVolProc RARSetChangeVolProc = nullptr;
TRARSetProcessDataProc RARSetProcessDataProc = nullptr;
TRARSetPassword RARSetPassword = nullptr;
TRARGetDllVersion RARGetDllVersion = nullptr;
bool IsRARDLLLoaded = false;
}  // namespace RAR_DLL

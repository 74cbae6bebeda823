#pragma once
// The UnRAR library's C interface as the public library publishes it (records, codes, callback
// messages), and the process-wide entry points TRAR binds at run time. The bundled stand-in
// library implements the same interface from this header, so either library serves.
#include <cstdint>

#if defined(_WIN32)
#define VV_RAR_CALL __stdcall
#define VV_UNRAR_EXPORT extern "C" __declspec(dllexport)
using RAR_LPARAM = intptr_t;
#else
#define VV_RAR_CALL
#define VV_UNRAR_EXPORT extern "C" __attribute__((visibility("default")))
using RAR_LPARAM = long;  // the library's LPARAM outside Windows
#endif
using RAR_HANDLE = void*;

inline constexpr int ERAR_SUCCESS = 0;
inline constexpr int ERAR_END_ARCHIVE = 10;
inline constexpr int ERAR_NO_MEMORY = 11;
inline constexpr int ERAR_BAD_DATA = 12;
inline constexpr int ERAR_BAD_ARCHIVE = 13;
inline constexpr int ERAR_UNKNOWN_FORMAT = 14;
inline constexpr int ERAR_EOPEN = 15;
inline constexpr int ERAR_ECREATE = 16;
inline constexpr int ERAR_ECLOSE = 17;
inline constexpr int ERAR_EREAD = 18;
inline constexpr int ERAR_EWRITE = 19;
inline constexpr int ERAR_SMALL_BUF = 20;
inline constexpr int ERAR_UNKNOWN = 21;
inline constexpr int ERAR_MISSING_PASSWORD = 22;
inline constexpr int ERAR_EREFERENCE = 23;
inline constexpr int ERAR_BAD_PASSWORD = 24;

inline constexpr unsigned RAR_OM_LIST = 0;
inline constexpr unsigned RAR_OM_EXTRACT = 1;
inline constexpr unsigned RAR_OM_LIST_INCSPLIT = 2;

inline constexpr int RAR_SKIP = 0;
inline constexpr int RAR_TEST = 1;
inline constexpr int RAR_EXTRACT = 2;

inline constexpr RAR_LPARAM RAR_VOL_ASK = 0;
inline constexpr RAR_LPARAM RAR_VOL_NOTIFY = 1;

inline constexpr unsigned RAR_HASH_NONE = 0;
inline constexpr unsigned RAR_HASH_CRC32 = 1;
inline constexpr unsigned RAR_HASH_BLAKE2 = 2;

// Header record flags.
inline constexpr unsigned RHDF_SPLITBEFORE = 0x01;
inline constexpr unsigned RHDF_SPLITAFTER = 0x02;
inline constexpr unsigned RHDF_ENCRYPTED = 0x04;
inline constexpr unsigned RHDF_SOLID = 0x10;
inline constexpr unsigned RHDF_DIRECTORY = 0x20;
inline constexpr unsigned RHDF_WINDOWMASK = 0xE0;  // dictionary size code, all set: a folder

// Archive flags of the open record.
inline constexpr unsigned ROADF_VOLUME = 0x0001;
inline constexpr unsigned ROADF_COMMENT = 0x0002;
inline constexpr unsigned ROADF_LOCK = 0x0004;
inline constexpr unsigned ROADF_SOLID = 0x0008;
inline constexpr unsigned ROADF_NEWNUMBERING = 0x0010;
inline constexpr unsigned ROADF_SIGNED = 0x0020;
inline constexpr unsigned ROADF_RECOVERY = 0x0040;
inline constexpr unsigned ROADF_ENCHEADERS = 0x0080;
inline constexpr unsigned ROADF_FIRSTVOLUME = 0x0100;

// Redirection types of the header record (RedirType).
inline constexpr unsigned FSREDIR_NONE = 0;
inline constexpr unsigned FSREDIR_UNIXSYMLINK = 1;
inline constexpr unsigned FSREDIR_WINSYMLINK = 2;
inline constexpr unsigned FSREDIR_JUNCTION = 3;
inline constexpr unsigned FSREDIR_HARDLINK = 4;
inline constexpr unsigned FSREDIR_FILECOPY = 5;

enum UNRARCALLBACK_MESSAGES {
  UCM_CHANGEVOLUME = 0,
  UCM_PROCESSDATA = 1,
  UCM_NEEDPASSWORD = 2,
  UCM_CHANGEVOLUMEW = 3,
  UCM_NEEDPASSWORDW = 4,
};

using UNRARCALLBACK = int(VV_RAR_CALL*)(unsigned msg, RAR_LPARAM UserData, RAR_LPARAM P1,
                                        RAR_LPARAM P2);
using CHANGEVOLPROC = int(VV_RAR_CALL*)(char* ArcName, int Mode);
using PROCESSDATAPROC = int(VV_RAR_CALL*)(unsigned char* Addr, int Size);

// The library lays its records out with 4-byte packing: the pointers after an odd number of
// 32-bit fields (CmtBuf, RedirName, CmtBufW) are not padded to 8 bytes.
#pragma pack(push, 4)
struct RARHeaderData {
  char ArcName[260];
  char FileName[260];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int UnpSize;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RARHeaderDataEx {
  char ArcName[1024];
  wchar_t ArcNameW[1024];
  char FileName[1024];
  wchar_t FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize;  // KiB
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;
  wchar_t* RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow;  // 100 ns units since 1601, UTC
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  unsigned int Reserved[988];
};

struct RAROpenArchiveData {
  char* ArcName;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
};

struct RAROpenArchiveDataEx {
  char* ArcName;
  wchar_t* ArcNameW;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int Flags;
  UNRARCALLBACK Callback;
  RAR_LPARAM UserData;
  unsigned int OpFlags;
  wchar_t* CmtBufW;
  unsigned int Reserved[25];
};
#pragma pack(pop)

// The eleven entry points, as function pointer types.
using TRAROpenArchive = RAR_HANDLE(VV_RAR_CALL*)(RAROpenArchiveData* ArchiveData);
using TRAROpenArchiveEx = RAR_HANDLE(VV_RAR_CALL*)(RAROpenArchiveDataEx* ArchiveData);
using TRARCloseArchive = int(VV_RAR_CALL*)(RAR_HANDLE hArcData);
using TRARReadHeader = int(VV_RAR_CALL*)(RAR_HANDLE hArcData, RARHeaderData* HeaderData);
using TRARReadHeaderEx = int(VV_RAR_CALL*)(RAR_HANDLE hArcData, RARHeaderDataEx* HeaderData);
using TRARProcessFile = int(VV_RAR_CALL*)(RAR_HANDLE hArcData, int Operation, char* DestPath,
                                          char* DestName);
using TRARSetCallback = void(VV_RAR_CALL*)(RAR_HANDLE hArcData, UNRARCALLBACK Callback,
                                           RAR_LPARAM UserData);
using TRARSetChangeVolProc = void(VV_RAR_CALL*)(RAR_HANDLE hArcData, CHANGEVOLPROC ChangeVolProc);
using TRARSetProcessDataProc = void(VV_RAR_CALL*)(RAR_HANDLE hArcData,
                                                  PROCESSDATAPROC ProcessDataProc);
using TRARSetPassword = void(VV_RAR_CALL*)(RAR_HANDLE hArcData, char* Password);
using TRARGetDllVersion = int(VV_RAR_CALL*)();

// Process-wide: the entry points of the library loaded last, and whether one was loaded. They live
// in a namespace of their own so they never clash with the library's exported names.
namespace RAR_DLL {
extern TRAROpenArchive RAROpenArchive;
extern TRAROpenArchiveEx RAROpenArchiveEx;
extern TRARCloseArchive RARCloseArchive;
extern TRARReadHeader RARReadHeader;
extern TRARReadHeaderEx RARReadHeaderEx;
extern TRARProcessFile RARProcessFile;
extern TRARSetCallback RARSetCallback;
extern TRARSetChangeVolProc RARSetChangeVolProc;
extern TRARSetProcessDataProc RARSetProcessDataProc;
extern TRARSetPassword RARSetPassword;
extern TRARGetDllVersion RARGetDllVersion;
extern bool IsRARDLLLoaded;
}  // namespace RAR_DLL

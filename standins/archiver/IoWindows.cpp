// The Windows side: wide-character calls on UTF-8 paths. A folder or file reached through a
// link or junction is recognised by its final path (links resolved) differing from the path
// asked for, which also holds under Wine, where links of the host show up that way.
#include <windows.h>
// after windows.h, which it needs
#include <aclapi.h>

#include <cwctype>
#include <vector>

#include "Io.h"

namespace vka::io {

struct Handle {
  explicit Handle(HANDLE h) : handle(h) {}
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HANDLE handle;
};

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                       static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return Upper(a) == Upper(b);
}

// The final path of an open handle, without the "\\?\" prefix.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
  if (n >= path.size()) {
    path.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
  }
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
  return path;
}

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

HANDLE OpenFolder(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsPlainFolder(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

}  // namespace

Input::Input() = default;
Input::~Input() = default;

bool Input::Open(const std::string& path, bool noLink) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = std::make_unique<Handle>(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
    return false;
  if (!noLink) return true;
  // The file itself must not be a link: its final path ends in the name asked for, in the
  // folder it was asked in.
  const std::wstring full = FullPath(wide);
  const size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos) return false;
  HANDLE folder = OpenFolder(full.substr(0, cut + 1));
  if (folder == INVALID_HANDLE_VALUE) return false;
  const std::wstring expected = Join(FinalPath(folder), full.substr(cut + 1));
  CloseHandle(folder);
  return SameName(FinalPath(h), expected);
}

long long Input::Read(void* data, size_t size) {
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(handle_->handle, data, want, &got, nullptr)) return -1;
  return got;
}

bool Input::ReadAt(void* data, size_t size, uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(handle_->handle, p, want, &got, &at) || got == 0) return false;
    p += got;
    size -= got;
    offset += got;
  }
  return true;
}

uint64_t Input::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(handle_->handle, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

Output::Output() = default;

Output::~Output() {
  handle_.reset();
  if (temporary_) DeleteFileW(Wide(path_).c_str());
}

namespace {

// Whether the open file (opened with read access) belongs to the user running this program.
// Under Wine a host file shows the user's own account when its Unix owner is the user, and a
// Unix account of its own otherwise.
bool OwnedByMe(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  bool mine = false;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size))
      mine = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    CloseHandle(token);
  }
  LocalFree(descriptor);
  return mine;
}

// Removes temp when it is what a killed run left. True when the name is free now; false, with
// the reason, when what is there stays.
bool RemoveLeftover(const std::wstring& temp, const std::string& shown,
                    const std::string& unfinished, std::string& why) {
  why = shown + " is in the way and is not ours to remove";
  // Opened without sharing and without following a link: a run that still writes holds it
  // the same way, so this open fails while that run lives.
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) why = shown + " is being written by another run";
    return error == ERROR_FILE_NOT_FOUND;
  }
  const Handle held(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      !OwnedByMe(h))
    return false;
  std::string head(unfinished.size(), '\0');
  DWORD got = 0;
  if (!ReadFile(h, head.data(), static_cast<DWORD>(head.size()), &got, nullptr) ||
      got != head.size() || head != unfinished)
    return false;
  // Deleted through the handle looked at, so no other file that took the name meanwhile.
  FILE_DISPOSITION_INFO remove{};
  remove.DeleteFile = TRUE;
  if (!SetFileInformationByHandle(h, FileDispositionInfo, &remove, sizeof remove)) return false;
  why.clear();
  return true;
}

}  // namespace

bool Output::CreateTemporaryFor(const std::string& finalPath, const std::string& unfinished,
                                std::string& why) {
  why.clear();
  const std::string temp = finalPath + kPartSuffix;
  const std::wstring wide = Wide(temp);
  if (wide.empty()) return false;
  // Not shared with anybody while it is written: that is how another run tells it is held.
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 3 && h == INVALID_HANDLE_VALUE; ++attempt) {
    h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) ||
        !RemoveLeftover(wide, temp, unfinished, why))
      return false;
  }
  if (h == INVALID_HANDLE_VALUE) {
    if (why.empty()) why = temp + " is taken by other runs";
    return false;
  }
  handle_ = std::make_unique<Handle>(h);
  path_ = temp;
  final_ = finalPath;
  temporary_ = true;
  return Write(unfinished.data(), unfinished.size());
}

bool Output::CreateIn(const Folder& folder, const std::string& name, bool& exists) {
  exists = false;
  const std::wstring wide = Wide(name);
  if (wide.empty()) return false;
  const std::wstring path = Join(Wide(folder.path_), wide);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    exists = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
    return false;
  }
  handle_ = std::make_unique<Handle>(h);
  path_ = Utf8(path);
  return true;
}

bool Output::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD done = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(handle_->handle, p, want, &done, nullptr) || done == 0) return false;
    p += done;
    size -= done;
  }
  return true;
}

bool Output::WriteAt(const void* data, size_t size, uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD done = 0;
  return WriteFile(handle_->handle, data, static_cast<DWORD>(size), &done, &at) && done == size;
}

bool Output::Close() {
  if (!handle_) return false;
  const bool ok = CloseHandle(handle_->handle) != 0;
  handle_->handle = INVALID_HANDLE_VALUE;
  handle_.reset();
  return ok;
}

bool Output::Publish() {
  // Without MOVEFILE_REPLACE_EXISTING an existing file is never replaced.
  const bool ok = MoveFileExW(Wide(path_).c_str(), Wide(final_).c_str(), 0) != 0;
  if (!ok) DeleteFileW(Wide(path_).c_str());
  temporary_ = false;
  return ok;
}

void Output::Discard() {
  DeleteFileW(Wide(path_).c_str());
  temporary_ = false;
}

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

bool Folder::OpenOrCreate(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  CreateDirectoryW(wide.c_str(), nullptr);
  HANDLE h = CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = std::make_unique<Handle>(h);
  // Below this folder everything is compared with its final path.
  path_ = Utf8(FinalPath(h));
  return !path_.empty();
}

bool Folder::OpenParent(const std::string& relative, Folder& parent, std::string& name) const {
  std::wstring path = Wide(path_);
  std::unique_ptr<Handle> held;
  size_t start = 0;
  for (;;) {
    const size_t slash = relative.find('/', start);
    if (slash == std::string::npos) {
      name = relative.substr(start);
      parent.handle_ = std::move(held);
      parent.path_ = Utf8(path);
      return true;
    }
    const std::wstring part = Wide(relative.substr(start, slash - start));
    if (part.empty()) return false;
    const std::wstring next = Join(path, part);
    CreateDirectoryW(next.c_str(), nullptr);
    HANDLE h = OpenFolder(next);
    if (h == INVALID_HANDLE_VALUE) return false;
    held = std::make_unique<Handle>(h);
    // Held open, the folder cannot be swapped for a link while its children are made.
    if (!IsPlainFolder(h) || !SameName(FinalPath(h), next)) return false;
    path = next;
    start = slash + 1;
  }
}

uint64_t FreeBytes(const std::string& folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(Wide(folder).c_str(), &available, nullptr, nullptr)) return UINT64_MAX;
  return available.QuadPart;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FolderPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return {};
  HANDLE h = CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  const bool folder =
      GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  const std::wstring final = folder ? FinalPath(h) : std::wstring();
  CloseHandle(h);
  return Utf8(final);
}

std::string RelativeTo(const std::string& folder, const std::string& file) {
  const std::wstring full = FullPath(Wide(file));
  const size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos) return {};
  const std::wstring name = full.substr(cut + 1);
  if (name.empty() || name == L"." || name == L"..") return {};
  HANDLE h = CreateFileW(full.substr(0, cut + 1).c_str(), FILE_LIST_DIRECTORY, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  const std::wstring dir = FinalPath(h);
  CloseHandle(h);
  const std::wstring prefix = Join(Wide(folder), L"");
  const std::wstring path = Join(dir, name);
  if (dir.empty() || path.size() <= prefix.size() ||
      !SameName(path.substr(0, prefix.size()), prefix))
    return {};
  // Stored in the one form the container has: '/'-separated UTF-8, as the names are spelt.
  std::string relative = Utf8(path.substr(prefix.size()));
  for (char& c : relative)
    if (c == '\\') c = '/';
  return relative;
}

std::string ScriptText(const std::string& line) {
  if (line.empty()) return line;
  const int size =
      MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(), size);
  return Utf8(wide);
}

}  // namespace vka::io

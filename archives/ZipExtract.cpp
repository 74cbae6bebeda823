// The extraction side of TZip: building the unzip library's parameter block, running the library
// and answering its callbacks (events, progress window, password, CRC and overwrite questions).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "archives/Zip.h"
#include "archives/ZipDlls.h"
#include "platform/Files.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"

namespace {

TZip::ProgressWindowFactory& WindowFactory() {
  static TZip::ProgressWindowFactory factory;
  return factory;
}

int Ask(const std::string& text, uint32_t flags) {
  return platform::CurrentPrompter().MessageBox({platform::ApplicationTitle(), text, flags});
}

// The running program's file name, for the trace file beside it.
std::string ProgramFileName() {
  const std::string executable = platform::ExecutablePath();
  return executable.empty() ? std::string("varevudov") : platform::ExtractFileName(executable);
}

std::string TextOf(const UnzipCallbackInfo& info) {
  return std::string(info.text, strnlen(info.text, kUnzTextSize));
}

// Releases what one Extract holds, on every way out.
class ExtractScope {
 public:
  ExtractScope(std::unique_ptr<ZipProgressWindow>& window, std::FILE*& trace)
      : window_(window), trace_(trace) {}
  ~ExtractScope() {
    window_.reset();
    if (trace_) std::fclose(trace_);
    trace_ = nullptr;
  }
  ExtractScope(const ExtractScope&) = delete;
  ExtractScope& operator=(const ExtractScope&) = delete;

 private:
  std::unique_ptr<ZipProgressWindow>& window_;
  std::FILE*& trace_;
};

}  // namespace

void TZip::SetProgressWindowFactory(ProgressWindowFactory factory) {
  WindowFactory() = std::move(factory);
}

int32_t TZip::Extract() {
  cancel_ = false;
  skippedEntries_.clear();
  skippedIndex_.clear();
  copiedLinks_.clear();
  passwordRefused_ = false;
  if (directory_.empty()) return 0;
  if (endOfCentralDir_.ThisDiskNo > 0) {
    Ask("Cannot Add, Delete or Extract from a multiple disk Zip file...\nMerge this Zip file onto "
        "the hard disk before retrying.",
        platform::MB_OK | platform::MB_ICONINFORMATION);
    return 0;
  }
  if (!extractDir_.empty() && !platform::DirectoryExists(extractDir_)) {
    Ask("Unable to extract files to:\n\"" + extractDir_ + "\"\nThis folder does not exist.",
        platform::MB_OK | platform::MB_ICONINFORMATION);
    return 0;
  }
  if (!ZipDlls::LoadUnzipLibrary(dllDirectory_))
    throw ZipException("Unable to load \"UnzDll.dll\".");

  // The archive is named absolutely before the current folder changes, so a relative name
  // still finds it.
  std::string archive = platform::ResolvePath(zipFileName_);
  if (archive.empty() || archive[0] != platform::kPathDelim)
    archive = platform::JoinPath(platform::CurrentFolder(), archive);
  std::string destination = extractDir_.empty() ? platform::ExtractFilePath(zipFileName_)
                                                : ZipUnit::AddBackslash(extractDir_);
  // An archive named without a folder lies in the current one, which stays current.
  if (!destination.empty() && !platform::SetCurrentFolder(destination))
    throw EInOutError("Unable to change the current directory to \"" + destination + "\"");
  destination = ZipUnit::AddBackslash(platform::CurrentFolder());

  std::vector<UnzipFileSpec> specs(fileSpecs_.size(), UnzipFileSpec{});
  for (size_t i = 0; i < fileSpecs_.size(); ++i) specs[i].fileSpec = fileSpecs_[i].c_str();

  const bool bit0 = extractOptions_[0], bit1 = extractOptions_[1], bit2 = extractOptions_[2];
  UnzipParams params{};
  params.caller = this;
  params.version = kUnzipParamsVersion;
  params.callback = &TZip::UnzipCallback;
  params.password = password_.empty() ? nullptr : password_.c_str();
  params.flag28 = bit2 && !bit0 && !bit1 ? -1 : 0;
  params.flag40 = -1;
  params.flag48 = bit0 ? -1 : 0;
  params.flag52 = bit1 && !bit0 ? -1 : 0;
  params.flag56 = extractOptions_[4] ? -1 : 0;
  params.flag60 = !bit0 && !bit1 && !bit2 ? -1 : 0;
  params.fileSpecCount = static_cast<int32_t>(specs.size());
  params.archiveName = archive.c_str();
  params.fileSpecs = specs.empty() ? nullptr : specs.data();
  params.value104 = 3;
  params.extractFolder = destination.c_str();
  params.value144 = 7;

  const int32_t extracted = RunLibrary(params);
  return cancel_ ? extracted : extracted + CopyLinks(archive, destination);
}

int32_t TZip::RunLibrary(UnzipParams& params) {
  ExtractScope scope(progressWindow_, traceStream_);
  if (trace_) {
    const std::string path = platform::JoinPath(
        platform::ProgramFolder(), platform::ChangeFileExt(ProgramFileName(), ".trace"));
    traceStream_ = std::fopen(platform::ResolvePath(path).c_str(), "wb");
    if (!traceStream_) throw EInOutError("Cannot create file \"" + path + "\"");
  }
  if (showProgressDialog_ && WindowFactory()) {
    progressWindow_ = WindowFactory()(*this);
    progressWindow_->Show();
    platform::ProcessMessages();
  }
  pendingException_ = nullptr;
  const int32_t result = ZipDlls::UnzDllExec(&params);
  fileSpecs_.clear();
  if (pendingException_) {
    std::exception_ptr pending = pendingException_;
    pendingException_ = nullptr;
    std::rethrow_exception(pending);
  }
  return result;
}

int32_t VV_STDCALL TZip::UnzipCallback(UnzipCallbackInfo* info) {
  if (!info || !info->caller) return -1;
  TZip& zip = *static_cast<TZip*>(info->caller);
  // Exceptions must not cross the library: the first one cancels the run and Extract raises it.
  try {
    if (!zip.cancel_) zip.HandleCallback(*info);
  } catch (...) {
    zip.pendingException_ = std::current_exception();
    zip.cancel_ = true;
  }
  const int32_t result = zip.cancel_ ? -1 : 0;
  try {
    platform::ProcessMessages();
  } catch (...) {
    if (!zip.pendingException_) zip.pendingException_ = std::current_exception();
    zip.cancel_ = true;
  }
  return result;
}

void TZip::HandleCallback(UnzipCallbackInfo& info) {
  switch (info.action) {
    case kUnzActionBeginFile:
      currentFileName_ = TextOf(info);
      if (OnZEDBeginFileEvent)
        OnZEDBeginFileEvent(this, currentFileName_, info.number, batchCount_, batchTotalBytes_);
      if (showProgressDialog_ && progressWindow_) progressWindow_->ShowFileName(currentFileName_);
      break;
    case kUnzActionProgress:
      bytesDone_ += info.number;
      if (OnZEDProgressEvent)
        OnZEDProgressEvent(this, currentFileName_, info.number, batchTotalBytes_);
      if (showProgressDialog_ && progressWindow_) {
        const double position = std::round(static_cast<double>(bytesDone_) * progressScale_);
        progressWindow_->SetProgressPosition(static_cast<int>(std::clamp(position, 0.0, 65535.0)));
      }
      break;
    case kUnzActionEndBatch:
      if (OnZEDEndBatchEvent)
        OnZEDEndBatchEvent(this, skippedCount_, batchCount_, batchTotalBytes_);
      if (showProgressDialog_ && progressWindow_) progressWindow_->Hide();
      break;
    case kUnzActionMessage:
      if (traceStream_ && info.text[0] != '\0') {
        const std::string line = TextOf(info) + "\r\n";
        std::fwrite(line.data(), 1, line.size(), traceStream_);
      }
      break;
    case kUnzActionBatchCount:
      batchCount_ = info.number;
      break;
    case kUnzActionBatchSize:
      batchTotalBytes_ = info.number;
      bytesDone_ = 0;
      skippedCount_ = 0;
      progressScale_ =
          batchTotalBytes_ > 0 ? 65535.0f / static_cast<float>(batchTotalBytes_) : 1.0f;
      if (showProgressDialog_ && progressWindow_) progressWindow_->SetProgressMax(65535);
      break;
    case kUnzActionPassword:
      HandlePasswordRequest(info);
      break;
    case kUnzActionCrcError:
      HandleCrcError(info);
      break;
    case kUnzActionOverwrite:
      HandleOverwrite(info);
      break;
    case kUnzActionFileSkipped:
      ++skippedCount_;
      RecordSkip(info.text[0] != '\0' ? TextOf(info) : currentFileName_, info.number);
      break;
    default:
      break;
  }
}

void TZip::HideWindow() {
  if (showProgressDialog_ && progressWindow_) progressWindow_->Hide();
}

void TZip::ShowWindowAgain() {
  if (showProgressDialog_ && progressWindow_ && !cancel_) progressWindow_->Show();
}

void TZip::HandlePasswordRequest(UnzipCallbackInfo& info) {
  // Whoever gave no password for one entry is not asked again for each of the others.
  if (passwordRefused_) {
    info.answerFlag = 0;
    info.number = 0;
    return;
  }
  HideWindow();
  const std::string prompt = info.number == 3
                                 ? "A new password is required for \"" + TextOf(info) + "\""
                                 : std::string("Password is invalid, please retry ...");
  std::string answer;
  if (!platform::CurrentPrompter().InputBox({platform::ApplicationTitle(), prompt, ""}, answer))
    answer.clear();
  if (!answer.empty()) {
    const size_t length = std::min(answer.size(), kUnzTextSize - 1);
    std::memcpy(info.text, answer.data(), length);
    info.text[length] = '\0';
    info.answerFlag = 1;
    if (info.number > 0) --info.number;
  } else {
    const int reply =
        Ask("No password was entered so the file will not be extracted...\nDo you wish to continue "
            "extracting other files?",
            platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (reply != platform::IDYES) cancel_ = true;
    passwordRefused_ = true;
    info.answerFlag = 0;
    info.number = 0;
  }
  ShowWindowAgain();
}

void TZip::HandleCrcError(UnzipCallbackInfo& info) {
  HideWindow();
  // Appended rather than "literal" + string: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
  std::string question = "\"";
  question += TextOf(info);
  question += "\" may be corrupted (CRC error).\nExtract this file anyway? ...";
  const int reply =
      Ask(question, platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
  if (reply == platform::IDCANCEL)
    cancel_ = true;
  else
    info.answerFlag = reply == platform::IDYES ? 1 : 0;
  ShowWindowAgain();
}

void TZip::HandleOverwrite(UnzipCallbackInfo& info) {
  const bool bit0 = extractOptions_[0], bit1 = extractOptions_[1], bit3 = extractOptions_[3];
  if (!bit0 && !bit1 && !bit3) {
    info.number = 1;
    return;
  }
  if (bit0 || bit1) {
    info.number = info.answerFlag & 1;
    return;
  }
  HideWindow();
  const std::string name = TextOf(info);
  const int reply =
      (info.answerFlag & 1)
          ? Ask("\"" + name + "\" is older than the zipped file.\nOverwrite this file? ...",
                platform::MB_YESNOCANCEL | platform::MB_ICONINFORMATION)
          : Ask("\"" + name +
                    "\" is the same age or newer than the zipped file.\nDo you really want to "
                    "overwrite this file? ...",
                platform::MB_YESNOCANCEL | platform::MB_ICONERROR | platform::MB_DEFBUTTON2);
  if (reply == platform::IDCANCEL) cancel_ = true;
  info.number = reply == platform::IDYES ? 1 : 0;
  ShowWindowAgain();
}

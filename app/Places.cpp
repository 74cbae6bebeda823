#include "app/Places.h"

#include <QDesktopServices>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>
#include <exception>

#include "app/workflow/Workflow.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"

namespace places {

namespace {

std::string PackageFolderFile() {
  return platform::JoinPath(workflow::ProgramFolder(), kPackageFolderFileName);
}

class DesktopFolderOpener : public FolderOpener {
 public:
  bool Open(const std::string& folder) override {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(folder.c_str())));
  }
};

DesktopFolderOpener desktopOpener;
FolderOpener* currentOpener = &desktopOpener;

}  // namespace

std::string StartFolder(const std::string& preferred) {
  if (!preferred.empty() && platform::DirectoryExists(preferred)) return preferred;
  for (auto location : {QStandardPaths::DownloadLocation, QStandardPaths::HomeLocation}) {
    const std::string folder =
        QFile::encodeName(QStandardPaths::writableLocation(location)).toStdString();
    if (!folder.empty() && platform::DirectoryExists(folder)) return folder;
  }
  return {};
}

std::string RememberedPackageFolder() {
  try {
    if (!platform::FileExists(PackageFolderFile())) return {};
    const auto lines = platform::ReadTextLines(PackageFolderFile());
    return lines.empty() ? std::string() : lines.front();
  } catch (const std::exception&) {
    return {};
  }
}

void RememberPackageFolder(const std::string& packagePath) {
  const std::string folder = platform::ExtractFileDir(packagePath);
  if (folder.empty() || folder == RememberedPackageFolder()) return;
  try {
    platform::WriteTextLines(PackageFolderFile(), {folder});
  } catch (const std::exception&) {
  }
}

FolderOpener& CurrentFolderOpener() {
  return *currentOpener;
}
void SetFolderOpener(FolderOpener* opener) {
  currentOpener = opener ? opener : &desktopOpener;
}

}  // namespace places

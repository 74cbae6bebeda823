#include "app/OpenDialog.h"

#include <QDir>
#include <QFileDialog>

namespace {

QtFileOpenDialog& QtDialog() {
  static QtFileOpenDialog dialog;
  return dialog;
}

FileOpenDialog*& Installed() {
  static FileOpenDialog* installed = nullptr;
  return installed;
}

}  // namespace

FileOpenDialog& CurrentFileOpenDialog() {
  return Installed() ? *Installed() : QtDialog();
}
void SetFileOpenDialog(FileOpenDialog* dialog) {
  Installed() = dialog;
}

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromLocal8Bit(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads a "(...)" in the text as the patterns; the shown text stays as given because the
    // dialog hides the pattern part.
    filters << parts[i] + QStringLiteral(" (") +
                   (patterns.isEmpty() ? QStringLiteral("*") : patterns) + QLatin1Char(')');
  }
  return filters;
}

std::unique_ptr<QFileDialog> CreateQtOpenDialog(const OpenDialogRequest& request) {
  auto dialog = std::make_unique<QFileDialog>(request.owner);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog everywhere: the patterns must match "MAP.ZIP" as well as "map.zip", which a
  // desktop's native dialog may not do.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
  if (!request.filter.empty()) dialog->setNameFilters(QtNameFilters(request.filter));
  dialog->setDirectory(request.initialDir.empty() ? QDir::currentPath()
                                                  : QString::fromLocal8Bit(request.initialDir));
  return dialog;
}

bool QtFileOpenDialog::Open(const OpenDialogRequest& request, std::string& fileName) {
  std::unique_ptr<QFileDialog> dialog = CreateQtOpenDialog(request);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return false;
  fileName = QDir::toNativeSeparators(dialog->selectedFiles().first()).toLocal8Bit().toStdString();
  return true;
}

bool RecordingFileOpenDialog::Open(const OpenDialogRequest& request, std::string& fileName) {
  requests.push_back(request);
  if (answers.empty()) return false;
  std::optional<std::string> answer = answers.front();
  answers.pop_front();
  if (!answer) return false;
  fileName = *answer;
  return true;
}

bool TOpenDialog::Execute() {
  std::string chosen;
  if (!CurrentFileOpenDialog().Open({owner_, filter_, initialDir_}, chosen)) return false;
  fileName_ = chosen;
  return true;
}

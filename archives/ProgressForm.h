#pragma once
// TProgressForm: the small window TZip shows while the unzip library runs, with the current
// file, a progress bar and a Cancel button. Kept apart so the rest of TZip needs no widgets.
#include <QDialog>

#include "archives/Zip.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TProgressForm : public QDialog, public ZipProgressWindow {
 public:
  explicit TProgressForm(TZip& owner, QWidget* parent = nullptr);

  void Show() override;
  void Hide() override;
  void ShowFileName(const std::string& name) override;
  void SetProgressMax(int max) override;
  void SetProgressPosition(int position) override;

  // Makes every TZip of the process show this window during Extract.
  static void Install();

  QLabel* Label() const { return label_; }
  QProgressBar* ProgressBar() const { return progressBar_; }
  QPushButton* CancelButton() const { return button_; }

 protected:
  void reject() override;  // Escape or the close box count as Cancel

 private:
  void CancelExtraction();

  TZip& owner_;
  QLabel* label_;
  QProgressBar* progressBar_;
  QPushButton* button_;
};

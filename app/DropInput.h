#pragma once
// The main window's input beside its buttons: what a drop selects, and the guard that keeps
// clicks and keys away from the two forms while a run goes on.
#include <QObject>
#include <string>

class QMimeData;
class TForm1;

// While a run goes on, clicks and keys aimed at the two forms are dropped as they arrive, not
// held back for after the run. Only the Exit button and Escape are heard: they ask whether to
// stop. Boxes and dialogs that the run itself opens get their input as usual.
class RunInputGuard : public QObject {
 public:
  explicit RunInputGuard(TForm1& form);
  ~RunInputGuard() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TForm1& form_;
};

// What a drop on the main window, or a path named on the command line, selects: one folder, one
// package file, or nothing, with the line that explains why.
struct DropChoice {
  enum class Kind { Folder, Package, Refused };
  Kind kind = Kind::Refused;
  std::string path;  // Folder, Package
  std::string line;  // Refused
};
DropChoice ClassifyDrop(const QMimeData& mime);
DropChoice ClassifyPath(std::string path);

#pragma once
// TMemo, the main window's two message panes.
#include <QPlainTextEdit>
#include <string>

// A message pane. Counts lines as a list of lines does: an empty pane holds none, and an empty
// line added to it is one line.
class TMemo : public QPlainTextEdit {
 public:
  explicit TMemo(QWidget* parent) : QPlainTextEdit(parent) {}
  int LineCount() const;
  void Add(const std::string& line, bool warning);
  void ClearLines();
  std::string Line(int index) const;
  void RemoveLine(int index);
  // The lines as text, one '\n' after each.
  std::string Lines() const;
  // Scrolls so that line (from 0) is the last one in view, with the lines before it above.
  void ShowLineAtBottom(int line);

 private:
  bool oneEmptyLine_ = false;  // the document is empty, yet holds one empty line
};

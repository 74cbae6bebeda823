#include "app/Memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>

namespace {

// Failure lines stand out from the lime of the rest.
const QColor kWarningColour(255, 170, 0);

QString ToQ(const std::string& s) {
  return QString::fromLocal8Bit(s);
}
std::string FromQ(const QString& s) {
  return s.toLocal8Bit().toStdString();
}

}  // namespace

int TMemo::LineCount() const {
  if (document()->isEmpty()) return oneEmptyLine_ ? 1 : 0;
  return document()->blockCount();
}

void TMemo::Add(const std::string& line, bool warning) {
  // Every line gets its own colour: a new block would otherwise inherit the one before it.
  QTextCharFormat format;
  if (warning) format.setForeground(kWarningColour);
  const bool first = LineCount() == 0;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  // The one empty line (an empty document) becomes the first of two.
  if (!first) cursor.insertBlock(QTextBlockFormat(), format);
  cursor.setCharFormat(format);
  cursor.insertText(ToQ(line), format);
  oneEmptyLine_ = first && line.empty();
  // The new line in view, scrolled to its start as a list of lines shows it.
  moveCursor(QTextCursor::End);
  moveCursor(QTextCursor::StartOfBlock);
  horizontalScrollBar()->setValue(0);
}

void TMemo::ShowLineAtBottom(int line) {
  const QTextBlock block = document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  setTextCursor(QTextCursor(block));
  const int rows = std::max(1, viewport()->height() / fontMetrics().lineSpacing());
  verticalScrollBar()->setValue(std::max(0, line - rows + 1));
  horizontalScrollBar()->setValue(0);
}

void TMemo::ClearLines() {
  clear();
  oneEmptyLine_ = false;
}

std::string TMemo::Line(int index) const {
  return index < LineCount() ? FromQ(document()->findBlockByNumber(index).text()) : std::string();
}

void TMemo::RemoveLine(int index) {
  const QTextBlock block = document()->findBlockByNumber(index);
  if (!block.isValid() || index >= LineCount()) return;
  if (LineCount() == 1) {
    ClearLines();
    return;
  }
  // The line with the line break that ends it, or for the last line the one before it.
  QTextCursor cursor(block);
  if (block.next().isValid()) {
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
  } else {
    cursor.movePosition(QTextCursor::PreviousBlock);
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
  // Left with one empty line, the document counts as empty.
  oneEmptyLine_ = document()->isEmpty();
}

std::string TMemo::Lines() const {
  std::string lines;
  const int count = LineCount();
  QTextBlock block = document()->firstBlock();
  for (int i = 0; i < count && block.isValid(); ++i, block = block.next())
    lines += FromQ(block.text()) + "\n";
  return lines;
}

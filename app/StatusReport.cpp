// The status report's quiet lines.
#include "StatusReport.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

void TStatusReport::AppendLine(const QString& line, bool quiet) {
  QTextDocument* doc = document();
  if (!quiet || !isVisible() || doc->maximumBlockCount() > 0 || centerOnScroll()) {
    ShowQuietLines();
    appendPlainText(line);
    return;
  }
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  if (FFirstQuiet < 0) {
    // What appendPlainText asks before it adds a line: does the view show
    // the end, so that it follows the new line?
    FQuietAtBottom = blockBoundingGeometry(doc->lastBlock()).bottom() + contentOffset().y() <=
                     viewport()->rect().bottom();
    FQuietScrollValue = verticalScrollBar()->value();
    FFirstQuiet = doc->lastBlock().blockNumber();
    // The layout's signals resize the scroll bars and repaint; both wait.
    layout->blockSignals(true);
  }
  // The edit appendPlainText makes: a new block in the formats of the
  // view's cursor, then the text, as one edit.
  const QTextCursor current = textCursor();
  QTextCursor end(doc);
  end.beginEditBlock();
  end.movePosition(QTextCursor::End);
  if (!doc->isEmpty())
    end.insertBlock(current.blockFormat(), current.charFormat());
  else
    end.setCharFormat(current.charFormat());
  end.insertText(line);
  end.endEditBlock();
}

void TStatusReport::ShowQuietLines() {
  if (FFirstQuiet < 0) return;
  QTextDocument* doc = document();
  QAbstractTextDocumentLayout* layout = doc->documentLayout();
  // Every line laid out once, so wrapped lines count in the scroll range as
  // they would after single appends.
  for (QTextBlock block = doc->findBlockByNumber(FFirstQuiet); block.isValid();
       block = block.next())
    layout->blockBoundingRect(block);
  layout->blockSignals(false);
  FFirstQuiet = -1;
  emit layout->documentSizeChanged(layout->documentSize());
  // A view that showed the end follows it, unless it was scrolled meanwhile.
  QScrollBar* bar = verticalScrollBar();
  if (FQuietAtBottom && bar->value() == FQuietScrollValue) bar->setValue(bar->maximum());
  viewport()->update();
}

// The status report of the main window: a read-only plain text view whose
// lines can be added quietly while it does not paint.
#pragma once

#include <QPlainTextEdit>

/// A QPlainTextEdit that takes lines quietly. A quiet line is in the
/// document at once (the text is always complete), but its layout, the
/// scroll bars and the follow-the-end scrolling wait for ShowQuietLines or
/// the next line that is not quiet. The view then ends exactly as if every
/// line had been appended on its own; a plain append lays out the previous
/// last line again, resizes the scroll bars and queues an event for them,
/// which is most of a line's cost while nobody can see the report anyway.
class TStatusReport : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  /// Appends line as the new last line, as appendPlainText does. quiet:
  /// the view catches up later (only while the report is shown, has no
  /// block limit and does not centre on scrolling; otherwise the line is
  /// appended at once).
  void AppendLine(const QString& line, bool quiet);
  /// Lays out the quiet lines, sizes the scroll bars, keeps the view at the
  /// end when it was there, and repaints. Nothing when no line is waiting.
  void ShowQuietLines();

 private:
  int FFirstQuiet = -1;         // block whose layout the first quiet line cleared
  bool FQuietAtBottom = false;  // the view showed the last line before it
  int FQuietScrollValue = 0;    // the vertical scroll position then
};

// Form adaptation: windows designed with a fixed font follow the system font,
// accent-coloured headings stay legible, header bands take the window colour.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

/// A filled rectangle with an outline (the header band of a window). With
/// AlignTop set it keeps itself at the top of its parent, full width.
class TShape : public QWidget {
 public:
  explicit TShape(QWidget* parent = nullptr);
  QColor BrushColor() const { return FBrushColor; }
  void SetBrushColor(const QColor& color);
  QColor PenColor() const { return FPenColor; }
  void SetPenColor(const QColor& color);
  bool AlignTop() const { return FAlignTop; }
  void SetAlignTop(bool alignTop);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FollowParent();
  QColor FBrushColor = Qt::white;
  QColor FPenColor = Qt::black;
  bool FAlignTop = false;
};

/// A surface painted by its owner through OnPaint (sender, painter).
class TPaintBox : public QWidget {
 public:
  explicit TPaintBox(QWidget* parent = nullptr) : QWidget(parent) {}
  std::function<void(TPaintBox* sender, class QPainter& painter)> OnPaint;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

/// Name and point size of the system font, taken by StartVistaReady.
const QString& IconFontName();
double IconFontSize();
/// Module start: takes the system's general font. Needs the QApplication.
void StartVistaReady();
/// Replaces the icon font, e.g. to see how a window looks with another one.
void SetIconFont(const QString& name, double pointSize);

/// Fill colour of header bands; AdaptForm sets the system window colour.
QColor HeaderColor();
void SetHeaderColor(const QColor& color);

/// The application's main window, which limits later windows (none while the
/// main window itself is created).
QWidget* MainForm();
void SetMainForm(QWidget* window);

/// Adapts a window's fonts, keeps it inside the main window, colours its
/// header band.
void AdaptForm(QWidget* window);
/// Adapts one control's font and, for windowed controls, its children.
void AdaptControl(QWidget* control);
/// Gives the first top-aligned shape among the window's children HeaderColor.
void ColorHeaderShape(QWidget* window);

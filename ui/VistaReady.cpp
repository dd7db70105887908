// Form adaptation on Qt Widgets. Labels, shapes and paint boxes play the part
// of the graphic controls that draw on their parent; every other widget is a
// windowed control, which takes its parent's font unless it has its own.
#include "VistaReady.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextEdit>

namespace {

QString gIconFontName;
double gIconFontSize = 0;
QColor gHeaderColor;
QPointer<QWidget> gMainForm;

const QRgb kAccentBlue = qRgb(0x00, 0x33, 0x99);
const QRgb kAccentSlate = qRgb(0x36, 0x5F, 0x91);

QColor FontColor(const QWidget* w) {
  return w->palette().color(w->foregroundRole());
}

bool IsAccent(const QColor& c) {
  return c.rgb() == kAccentBlue || c.rgb() == kAccentSlate;
}

bool IsGraphicControl(const QWidget* w) {
  return qobject_cast<const QLabel*>(w) || dynamic_cast<const TShape*>(w) ||
         dynamic_cast<const TPaintBox*>(w);
}

bool IsMultiLineText(const QWidget* w) {
  return qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w);
}

void SetFontColor(QWidget* w, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(w->foregroundRole(), color);
  w->setPalette(p);
}

void AdaptWindowedFont(QWidget* w) {
  QFont f = w->font();
  f.setFamily(IconFontName());
  if (!IsAccent(FontColor(w)) && IconFontSize() > 0) f.setPointSizeF(IconFontSize());
  w->setFont(f);
}

}  // namespace

// ---------------------------------------------------------------------------

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(const QColor& color) {
  FBrushColor = color;
  update();
}

void TShape::SetPenColor(const QColor& color) {
  FPenColor = color;
  update();
}

void TShape::SetAlignTop(bool alignTop) {
  FAlignTop = alignTop;
  if (parentWidget()) {
    parentWidget()->removeEventFilter(this);
    if (alignTop) parentWidget()->installEventFilter(this);
  }
  FollowParent();
}

void TShape::FollowParent() {
  if (FAlignTop && parentWidget()) setGeometry(0, 0, parentWidget()->width(), height());
}

bool TShape::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) FollowParent();
  return QWidget::eventFilter(watched, event);
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(FPenColor);
  painter.setBrush(FBrushColor);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TPaintBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (OnPaint) OnPaint(this, painter);
}

// ---------------------------------------------------------------------------

const QString& IconFontName() {
  return gIconFontName;
}
double IconFontSize() {
  return gIconFontSize;
}

void StartVistaReady() {
  const QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  double size = f.pointSizeF();
  if (size <= 0 && f.pixelSize() > 0) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    size = f.pixelSize() * 72.0 / dpi;
  }
  SetIconFont(f.family(), size);
}

void SetIconFont(const QString& name, double pointSize) {
  gIconFontName = name;
  gIconFontSize = pointSize;
}

QColor HeaderColor() {
  return gHeaderColor;
}
void SetHeaderColor(const QColor& color) {
  gHeaderColor = color;
}

QWidget* MainForm() {
  return gMainForm;
}
void SetMainForm(QWidget* window) {
  gMainForm = window;
}

void AdaptForm(QWidget* window) {
  AdaptControl(window);
  if (QWidget* main = MainForm(); main && main != window) {
    QRect g = window->geometry();
    const QRect m = main->geometry();
    if (g.width() > m.width()) g.setWidth(m.width());
    if (g.height() > m.height()) g.setHeight(m.height());
    if (g.left() < m.left()) g.moveLeft(m.left());
    if (g.top() < m.top()) g.moveTop(m.top());
    window->setGeometry(g);
  }
  SetHeaderColor(QApplication::palette().color(QPalette::Base));
  ColorHeaderShape(window);
}

void AdaptControl(QWidget* control) {
  if (!IsGraphicControl(control)) {
    const bool multiLine = IsMultiLineText(control);
    if (multiLine) {
      auto* area = static_cast<QAbstractScrollArea*>(control);
      if (area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff &&
          area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    if (multiLine || control->isWindow() || control->testAttribute(Qt::WA_SetFont))
      AdaptWindowedFont(control);
    for (QObject* child : control->children())
      if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow()) AdaptControl(w);
    return;
  }
  QFont f = control->font();
  f.setFamily(IconFontName());
  if (IsAccent(FontColor(control))) {
    // Only the designed face carries the light accent well; others go bold.
    if (IconFontName() != QLatin1String("Segoe UI")) {
      f.setBold(true);
      SetFontColor(control, QColor(kAccentSlate));
    }
  } else if (IconFontSize() > 0) {
    f.setPointSizeF(IconFontSize());
  }
  control->setFont(f);
}

void ColorHeaderShape(QWidget* window) {
  for (QObject* child : window->children()) {
    if (auto* shape = dynamic_cast<TShape*>(child); shape && shape->AlignTop()) {
      shape->SetBrushColor(HeaderColor());
      return;
    }
  }
}

#include "gui/frame_style.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>

namespace qm {

FrameStyle::FrameStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

FrameStyle* FrameStyle::instance() {
  static FrameStyle* style = [] {
    auto* s = new FrameStyle;
    s->setParent(qApp);  // goes with the application
    return s;
  }();
  return style;
}

QRect FrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                 const QWidget* widget) const {
  if (control != CC_GroupBox) return QProxyStyle::subControlRect(control, option, sub, widget);
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  QFontMetrics metrics = option->fontMetrics;
  bool titled = box && !box->text.isEmpty();
  int half = titled ? metrics.height() / 2 : 0;
  switch (sub) {
    case SC_GroupBoxFrame:
      return option->rect.adjusted(0, half, 0, 0);
    case SC_GroupBoxContents:
      return option->rect.adjusted(1, half + 1, -1, -1);
    case SC_GroupBoxLabel: {
      if (!titled) return {};
      int width = metrics.horizontalAdvance(QString(box->text).remove(QLatin1Char('&'))) + 4;
      return QRect(option->rect.left() + 6, option->rect.top(), std::min(width, option->rect.width() - 8),
                   metrics.height());
    }
    default:
      return QProxyStyle::subControlRect(control, option, sub, widget);
  }
}

void FrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const {
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || !box) return QProxyStyle::drawComplexControl(control, option, painter, widget);
  painter->save();
  QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget).adjusted(0, 0, -1, -1);
  painter->setPen(option->palette.color(QPalette::Mid));
  painter->drawRect(frame);
  painter->setPen(option->palette.color(QPalette::Light));
  painter->drawRect(frame.adjusted(1, 1, 1, 1));
  QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
  if (!label.isEmpty()) {
    painter->fillRect(label, option->palette.color(QPalette::Window));
    drawItemText(painter, label.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                 option->palette, option->state & State_Enabled, box->text, QPalette::WindowText);
  }
  painter->restore();
}

}  // namespace qm

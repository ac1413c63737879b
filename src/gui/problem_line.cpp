#include "gui/problem_line.h"

namespace qm {

ProblemLine::ProblemLine(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("problem"));
  setTextFormat(Qt::PlainText);
  setWordWrap(true);
  setVisible(false);
  QPalette warn = palette();
  warn.setColor(QPalette::WindowText, QColor(170, 0, 0));
  setPalette(warn);
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
}

void ProblemLine::add(const QString& problem) {
  shown_.push_back(problem);
  while (shown_.size() > 10) shown_.pop_front();
  setText(problem);
  setToolTip(all());
  setVisible(true);
}

}  // namespace qm

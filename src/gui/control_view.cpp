#include "gui/control_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>

#include "gui/colours.h"
#include "gui/frame_style.h"
#include "platform/control.h"
#include "realtime/qt_scheduler.h"

namespace qm {

QString labelText(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return QString::fromStdString(out);
}

namespace {

QString fromModel(const std::string& s) {
  return QString::fromStdString(s);
}

// Multi-line boxes hold CR LF line breaks; the widget shows plain line feeds.
QString fromModelLines(const std::string& s) {
  QString q = QString::fromStdString(s);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

std::string toModelLines(const QString& q) {
  QString s = q;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return s.toStdString();
}

class LineView : public ControlView {
 public:
  LineView(TextBox& box, QWidget* parent) : ControlView(box, new QLineEdit(parent)), box_(box) {
    auto* edit = static_cast<QLineEdit*>(widget());
    if (box.password) edit->setEchoMode(QLineEdit::Password);
    if (box.locked) {
      edit->setReadOnly(true);
      edit->setFocusPolicy(Qt::ClickFocus);
    }
    keep(QObject::connect(edit, &QLineEdit::textEdited, [this](const QString& text) {
      operatorAction([this, text] { box_.operatorEdit(text.toStdString()); });
    }));
  }

 protected:
  void refreshContent() override {
    auto* edit = static_cast<QLineEdit*>(widget());
    // The digits-only style: the box itself refuses any other key, and a paste holding anything else changes nothing.
    if (box_.digitsOnly() && !edit->validator())
      edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    else if (!box_.digitsOnly() && edit->validator())
      edit->setValidator(nullptr);
    QString text = fromModel(box_.Text());
    if (edit->text() != text) {
      int caret = edit->cursorPosition();
      edit->setText(text);
      edit->setCursorPosition(std::min(caret, static_cast<int>(text.size())));
    }
  }
  QPalette::ColorRole backgroundRole() const override { return QPalette::Base; }
  QPalette::ColorRole foregroundRole() const override { return QPalette::Text; }
  bool fillsBackground() const override { return false; }

 private:
  TextBox& box_;
};

// A multi-line box: a vertical scroll bar, and the view follows the caret the model puts after each change, so a
// log that puts its caret at the end shows its newest line.
class AreaView : public ControlView {
 public:
  AreaView(TextBox& box, QWidget* parent) : ControlView(box, new QPlainTextEdit(parent)), box_(box) {
    auto* edit = static_cast<QPlainTextEdit*>(widget());
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setTabChangesFocus(true);  // Tab moves on to the next control, as in a single-line box
    if (box.locked) {
      edit->setReadOnly(true);
      edit->setFocusPolicy(Qt::ClickFocus);
    }
    if (box.fixedPitch) {
      // The fixed-pitch face at the size of the window's own.
      QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
      if (edit->font().pixelSize() > 0) fixed.setPixelSize(edit->font().pixelSize());
      edit->setFont(fixed);
    }
    keep(QObject::connect(edit, &QPlainTextEdit::textChanged, [this] {
      if (updating_) return;
      auto* e = static_cast<QPlainTextEdit*>(widget());
      std::string text = toModelLines(e->toPlainText());
      operatorAction([this, text] { box_.operatorEdit(text); });
    }));
  }

 protected:
  void refreshContent() override {
    auto* edit = static_cast<QPlainTextEdit*>(widget());
    QString text = fromModelLines(box_.Text());
    if (edit->toPlainText() != text) {
      edit->setPlainText(text);
      // The model places its caret after the change that called us returns: follow it then.
      QTimer::singleShot(0, edit, [this] { followCaret(); });
    }
  }
  QPalette::ColorRole backgroundRole() const override { return QPalette::Base; }
  QPalette::ColorRole foregroundRole() const override { return QPalette::Text; }
  bool fillsBackground() const override { return false; }

 private:
  void followCaret() {
    if (!control()) return;
    auto* edit = static_cast<QPlainTextEdit*>(widget());
    // SelStart counts CR LF as two characters; the widget counts one.
    const std::string& text = box_.Text();
    std::size_t end = std::min(box_.SelStart, text.size());
    int breaks = 0;
    for (std::size_t i = 0; i + 1 < end; ++i)
      if (text[i] == '\r' && text[i + 1] == '\n') ++breaks;
    int position = QString::fromStdString(text.substr(0, end)).size() - breaks;
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(std::clamp(position, 0, edit->document()->characterCount() - 1));
    edit->setTextCursor(cursor);
    edit->ensureCursorVisible();
    if (cursor.atEnd()) edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
  }

  TextBox& box_;
};

// A label shows its caption as the window system would: words wrap when the label is tall enough for two lines, and
// a run of three or more blanks, which a designer uses to push words apart ("Slow ... Fast", column headings),
// spreads the words over the label's whole width whatever the font's blank width.
class LabelView : public ControlView {
 public:
  LabelView(Label& label, QWidget* parent) : ControlView(label, new QLabel(parent)), label_(label) {
    auto* l = static_cast<QLabel*>(widget());
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

 protected:
  void refreshContent() override {
    auto* l = static_cast<QLabel*>(widget());
    emphasiseWhenFaint(*l);
    QFontMetrics metrics(l->font());
    int width = toPixels(label_.geometry().width);
    l->setWordWrap(toPixels(label_.geometry().height) >= 2 * metrics.height());
    l->setText(spread(labelText(label_.Caption()), l->font(), width));
  }

 private:
  // Colours with little contrast (the time-out's dark grey on red) keep their colours but get bold, larger text, as
  // far as the label's height allows, so the words read at a glance.
  void emphasiseWhenFaint(QLabel& l) const {
    QPalette inherited = QApplication::palette(&l);
    double contrast =
        contrastRatio(resolveColour(label_.ForeColor(), inherited), resolveColour(label_.BackColor(), inherited));
    QFont font = l.parentWidget() ? l.parentWidget()->font() : l.font();
    if (contrast < kLegibleContrast) {
      int size = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
      font.setBold(true);
      font.setPixelSize(std::max(size, std::min(size * 4 / 3 + 1, toPixels(label_.geometry().height) - 3)));
    }
    if (l.font() != font) l.setFont(font);
  }
  static constexpr double kLegibleContrast = 4.5;

  static QString spread(const QString& text, const QFont& font, int width) {
    static const QRegularExpression gap(QStringLiteral(" {3,}"));
    QStringList words = text.split(gap);
    if (words.size() < 2) return text;
    QFontMetricsF exact(font);
    double used = 0;
    for (const QString& w : words) used += exact.horizontalAdvance(w);
    double blank = std::max(1.0, exact.horizontalAdvance(QLatin1Char(' ')));
    double free = width - used - 3;
    int gaps = static_cast<int>(words.size()) - 1;
    QString out = words.front();
    for (int i = 1; i <= gaps; ++i) {
      // Share the free room out so that the last word ends at the right edge.
      int before = static_cast<int>(free * (i - 1) / gaps / blank), upTo = static_cast<int>(free * i / gaps / blank);
      out += QString(std::max(1, upTo - before), QLatin1Char(' ')) + words[i];
    }
    return out;
  }

  Label& label_;
};

class FrameView : public ControlView {
 public:
  FrameView(Frame& frame, QWidget* parent) : ControlView(frame, new QGroupBox(parent)), frame_(frame) {
    widget()->setStyle(FrameStyle::instance());
  }

 protected:
  void refreshContent() override { static_cast<QGroupBox*>(widget())->setTitle(fromModel(frame_.Caption())); }

 private:
  Frame& frame_;
};

// A button's caption wraps onto more lines when it is wider than the button, as the window system's buttons do.
class ButtonView : public ControlView {
 public:
  ButtonView(CommandButton& button, QWidget* parent) : ControlView(button, new QPushButton(parent)), button_(button) {
    auto* b = static_cast<QPushButton*>(widget());
    b->setAutoDefault(false);
    keep(QObject::connect(b, &QPushButton::clicked, [this] { operatorAction([this] { button_.click(); }); }));
  }

 protected:
  void refreshContent() override {
    auto* b = static_cast<QPushButton*>(widget());
    QString caption = QString::fromStdString(button_.Caption());
    b->setText(wrapped(caption, QFontMetrics(b->font()), toPixels(button_.geometry().width) - 2));
  }
  QPalette::ColorRole backgroundRole() const override { return QPalette::Button; }
  QPalette::ColorRole foregroundRole() const override { return QPalette::ButtonText; }
  bool fillsBackground() const override { return false; }

 private:
  static QString wrapped(const QString& caption, const QFontMetrics& metrics, int width) {
    QString shown = caption;
    shown.remove(QLatin1Char('&'));
    if (metrics.horizontalAdvance(shown) <= width || !caption.contains(QLatin1Char(' '))) return caption;
    QStringList lines;
    QString line;
    for (const QString& word : caption.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
      QString plain = candidate;
      plain.remove(QLatin1Char('&'));
      if (!line.isEmpty() && metrics.horizontalAdvance(plain) > width) {
        lines << line;
        line = word;
      } else {
        line = candidate;
      }
    }
    lines << line;
    return lines.join(QLatin1Char('\n'));
  }

  CommandButton& button_;
};

class CheckView : public ControlView {
 public:
  CheckView(CheckBox& box, QWidget* parent) : ControlView(box, new QCheckBox(parent)), box_(box) {
    auto* c = static_cast<QCheckBox*>(widget());
    // The operator's click ticks or unticks; the model decides, and the widget then shows the model's value.
    keep(QObject::connect(c, &QCheckBox::clicked, [this] {
      int next = box_.Value() == 1 ? 0 : 1;
      operatorAction([this, next] { box_.operatorEdit(std::to_string(next)); });
    }));
  }

 protected:
  void refreshContent() override {
    auto* c = static_cast<QCheckBox*>(widget());
    c->setText(fromModel(box_.Caption()));
    Qt::CheckState state = box_.Value() == 1 ? Qt::Checked : box_.Value() == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
    c->setTristate(state == Qt::PartiallyChecked);
    if (c->checkState() != state) c->setCheckState(state);
  }

 private:
  CheckBox& box_;
};

class ScrollView : public ControlView {
 public:
  ScrollView(ScrollBar& bar, QWidget* parent) : ControlView(bar, new QScrollBar(Qt::Horizontal, parent)), bar_(bar) {
    auto* s = static_cast<QScrollBar*>(widget());
    s->setPageStep(1);
    s->setSingleStep(1);
    s->setFocusPolicy(Qt::StrongFocus);
    keep(QObject::connect(s, &QScrollBar::valueChanged, [this](int value) {
      if (updating_) return;
      operatorAction([this, value] { bar_.operatorEdit(std::to_string(value)); });
    }));
  }

 protected:
  void refreshContent() override {
    auto* s = static_cast<QScrollBar*>(widget());
    s->setRange(bar_.Min(), bar_.Max());
    if (s->value() != bar_.Value()) s->setValue(bar_.Value());
  }
  bool fillsBackground() const override { return false; }

 private:
  ScrollBar& bar_;
};

}  // namespace

std::unique_ptr<ControlView> ControlView::create(Control& control, QWidget* parent) {
  std::unique_ptr<ControlView> view;
  switch (control.kind()) {
    case ControlKind::TextBox: {
      auto& box = static_cast<TextBox&>(control);
      if (box.multiLine)
        view.reset(new AreaView(box, parent));
      else
        view.reset(new LineView(box, parent));
      break;
    }
    case ControlKind::Label:
      view.reset(new LabelView(static_cast<Label&>(control), parent));
      break;
    case ControlKind::Frame:
      view.reset(new FrameView(static_cast<Frame&>(control), parent));
      break;
    case ControlKind::Button:
      view.reset(new ButtonView(static_cast<CommandButton&>(control), parent));
      break;
    case ControlKind::CheckBox:
      view.reset(new CheckView(static_cast<CheckBox&>(control), parent));
      break;
    case ControlKind::ScrollBar:
      view.reset(new ScrollView(static_cast<ScrollBar&>(control), parent));
      break;
    case ControlKind::Timer:
      return nullptr;
  }
  view->refresh();
  Control* c = &control;
  ControlView* v = view.get();
  control.setObserver([v, c](const Control&) {
    if (v->control() == c) v->refresh();
  });
  return view;
}

ControlView::ControlView(Control& control, QWidget* widget) : control_(&control), widget_(widget) {
  widget->setObjectName(QString::fromStdString(control.name()));
}

ControlView::~ControlView() {
  if (control_) control_->setObserver({});
  for (auto& c : connections_) QObject::disconnect(c);
}

void ControlView::detach() {
  control_ = nullptr;
  for (auto& c : connections_) QObject::disconnect(c);
  connections_.clear();
}

void ControlView::operatorAction(const std::function<void()>& action) {
  if (!control_) return;
  runGuarded(control_->name().c_str(), action);
  // The model may have refused or changed what was typed (a digits-only box): show what it holds.
  if (control_) refresh();
}

void ControlView::refresh() {
  if (!control_ || !widget_) return;
  updating_ = true;
  refreshContent();
  refreshCommon();
  updating_ = false;
}

void ControlView::refreshCommon() {
  QWidget* w = widget_;
  const Rect& g = control_->geometry();
  w->setGeometry(toPixels(g.left), toPixels(g.top), std::max(1, toPixels(g.width)), std::max(1, toPixels(g.height)));
  w->setEnabled(control_->Enabled());
  w->setVisible(control_->Visible());
  QString tip = QString::fromStdString(control_->toolTip());
  if (w->toolTip() != tip) w->setToolTip(tip);

  // System colours resolve against the application's palette, so the button face stays the theme's own.
  QPalette inherited = QApplication::palette(w);
  QColor back = resolveColour(control_->BackColor(), inherited);
  QColor fore = resolveColour(control_->ForeColor(), inherited);
  QPalette p = w->palette();
  if (p.color(backgroundRole()) != back || p.color(foregroundRole()) != fore) {
    p.setColor(backgroundRole(), back);
    p.setColor(foregroundRole(), fore);
    w->setPalette(p);
  }
  w->setAutoFillBackground(fillsBackground());
}

}  // namespace qm

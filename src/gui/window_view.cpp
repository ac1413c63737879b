#include "gui/window_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>

#include "gui/window_placement.h"
#include "realtime/qt_scheduler.h"

namespace qm {

namespace {
constexpr int kCanvasMargin = 120;  // twips left free beyond the outermost control
// What a window manager adds around the client area before the window has been shown and its frame is known.
const QSize kFrameAllowance(10, 36);
}  // namespace

QRect availableArea(const QWidget* near) {
  QScreen* screen = near && near->screen() ? near->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
}

QSize frameAllowance(const QWidget& window) {
  if (window.isVisible()) {
    QSize extra = window.frameGeometry().size() - window.geometry().size();
    if (extra.width() > 0 || extra.height() > 0) return extra;
  }
  return kFrameAllowance;
}

QFont designFont() {
  // The layouts in twips were made for a narrow 8-point sans-serif face: 11 pixels at 96 dpi. A condensed face
  // comes closest; without one the application's own face is used.
  QFont f = QApplication::font();
  f.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"), f.family()});
  f.setPixelSize(11);
  return f;
}

WindowView::WindowView(Window& window) : window_(&window) {
  setObjectName(QString::fromStdString(window.name()));
  setFont(designFont());
  // A fixed single border: minimise and close, no maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  viewport_ = new QScrollArea(this);
  viewport_->setObjectName(QStringLiteral("viewport"));
  viewport_->setFrameShape(QFrame::NoFrame);
  viewport_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport_->setFocusPolicy(Qt::NoFocus);
  viewport_->setWidgetResizable(false);
  canvas_ = new QWidget(this);  // with the window's font from the start: captions are measured in it
  canvas_->setObjectName(QStringLiteral("canvas"));
  build();
  viewport_->setWidget(canvas_);
  viewport_->viewport()->installEventFilter(this);

  window.setObserver([this](const Window&) { refreshWindow(); });
  refreshWindow();
  focusWatch_ =
      QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

WindowView::~WindowView() {
  QObject::disconnect(focusWatch_);
  if (window_) window_->setObserver({});
  views_.clear();  // each view lets go of its control before the widgets go
}

void WindowView::detach() {
  window_ = nullptr;
  for (auto& v : views_) v->detach();
}

QWidget* WindowView::widgetFor(const std::string& controlName) const {
  auto it = byName_.find(controlName);
  return it == byName_.end() ? nullptr : it->second->widget();
}

ControlView* WindowView::viewFor(Control& control) {
  auto it = byName_.find(control.name());
  if (it != byName_.end()) return it->second;
  // A control sits in the widget of the frame its container names (made first when it comes later in the list).
  QWidget* parent = canvas_;
  if (!control.container().empty() && control.container() != control.name()) {
    if (Control* frame = window_->control(control.container()); frame && frame->kind() == ControlKind::Frame)
      if (ControlView* fv = viewFor(*frame)) parent = fv->widget();
  }
  auto view = ControlView::create(control, parent);
  if (!view) return nullptr;
  ControlView* v = view.get();
  views_.push_back(std::move(view));
  byName_[control.name()] = v;
  return v;
}

void WindowView::build() {
  for (Control* c : window_->controls()) viewFor(*c);

  // The tab order is the order in which the window registered its controls.
  QWidget* previous = nullptr;
  QWidget* first = nullptr;
  for (Control* c : window_->controls()) {
    QWidget* w = widgetFor(c->name());
    if (!w || w->focusPolicy() == Qt::NoFocus) continue;
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
    if (!first && (w->focusPolicy() & Qt::TabFocus)) first = w;
  }
  // The focus starts on the first control the operator uses, never on a box that only shows something.
  if (first) first->setFocus();

  layOutClient();
}

void WindowView::layOutClient() {
  // The canvas holds every control; the client area is the window's outer size less its border.
  int right = 0, bottom = 0;
  for (Control* c : window_->controls()) {
    if (c->kind() == ControlKind::Timer || !c->container().empty()) continue;
    const Rect& g = c->geometry();
    right = std::max(right, g.left + g.width);
    bottom = std::max(bottom, g.top + g.height);
  }
  const Rect& outer = window_->geometry();
  int clientWidth = outer.width > kBorderWidth ? outer.width - kBorderWidth : right + kCanvasMargin;
  int clientHeight = outer.height > kBorderHeight ? outer.height - kBorderHeight : bottom + kCanvasMargin;
  client_ = QSize(toPixels(clientWidth), toPixels(clientHeight));
  int canvasWidth = std::max(clientWidth, right + kCanvasMargin);
  int canvasHeight = std::max(clientHeight, bottom + kCanvasMargin);
  canvas_->resize(toPixels(canvasWidth), toPixels(canvasHeight));
  // A window larger than the screen (a high scale, a small screen) shows what fits, with scroll bars for the rest.
  QSize room = availableArea(this).size() - frameAllowance(*this);
  QSize shown = client_.boundedTo(room.expandedTo(QSize(160, 120)));
  fitsScreen_ = shown == client_;
  Qt::ScrollBarPolicy bars = fitsScreen_ ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
  viewport_->setHorizontalScrollBarPolicy(bars);
  viewport_->setVerticalScrollBarPolicy(bars);
  viewport_->setGeometry(0, 0, shown.width(), shown.height());
  setFixedSize(shown);
  laidOutFor_ = QSize(outer.width, outer.height);
}

void WindowView::refreshWindow() {
  if (!window_) return;
  QString title = QString::fromStdString(window_->Caption());
  if (windowTitle() != title) setWindowTitle(title);
  const Rect& g = window_->geometry();
  if (laidOutFor_ != QSize(g.width, g.height)) layOutClient();  // the model changed the window's size
  // The model's position, kept on the screen whatever the screen's size and scale.
  QPoint position(toPixels(g.left), toPixels(g.top));
  position = keepInside(QRect(position, size() + frameAllowance(*this)), availableArea(this)).topLeft();
  if (pos() != position) move(position);
  bool minimised = window_->state() == WindowState::Minimized;
  if (window_->Visible()) {
    if (minimised && !isMinimized())
      showMinimized();
    else if (!minimised && isMinimized())
      showNormal();
    else if (!isVisible())
      show();
  } else if (isVisible()) {
    hide();
  }
}

void WindowView::closeEvent(QCloseEvent* event) {
  // The model decides what a close request means (end the program, unload, ask, or nothing).
  event->ignore();
  if (Window* w = window_) runGuarded("close", [w] { w->closeRequest(); });
}

void WindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !window_) return;
  WindowState s = isMinimized() ? WindowState::Minimized : WindowState::Normal;
  if (Window* w = window_; w->state() != s && w->Visible()) runGuarded("resize", [w, s] { w->setState(s); });
}

void WindowView::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Only the operator's moves go to the model; the model's own moves came from it.
  if (!window_ || !event->spontaneous() || !isVisible()) return;
  Rect g = window_->geometry();
  QPoint now = pos();
  if (toPixels(g.left) == now.x() && toPixels(g.top) == now.y()) return;
  g.left = toTwips(now.x());
  g.top = toTwips(now.y());
  Window* w = window_;
  runGuarded("move", [w, g] { w->setGeometry(g); });
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  // The mouse wheel does not move the viewport off the client area; only the keyboard focus does.
  if (watched == viewport_->viewport() && event->type() == QEvent::Wheel && fitsScreen_) return true;
  return QWidget::eventFilter(watched, event);
}

void WindowView::follow(QWidget* focused) {
  if (!focused || !canvas_->isAncestorOf(focused)) return;
  QWidget* outermost = focused;
  while (outermost->parentWidget() != canvas_) outermost = outermost->parentWidget();
  QRect shown(QPoint(0, 0), client_);
  if (fitsScreen_ && shown.contains(outermost->geometry())) {
    viewport_->horizontalScrollBar()->setValue(0);
    viewport_->verticalScrollBar()->setValue(0);
    return;
  }
  viewport_->ensureWidgetVisible(outermost, 8, 8);
  viewport_->ensureWidgetVisible(focused, 8, 8);
}

WindowViews::WindowViews(Registry& registry) : registry_(registry) {
  registry_.onLoaded = [this](Window& w) { loaded(w); };
  registry_.onUnloaded = [this](Window& w) { unloaded(w); };
}

WindowViews::~WindowViews() {
  registry_.onLoaded = nullptr;
  registry_.onUnloaded = nullptr;
  for (auto& [window, view] : views_) delete view;
}

WindowView* WindowViews::find(const std::string& windowName) const {
  for (auto& [window, view] : views_)
    if (view->model() && view->model()->name() == windowName) return view;
  return nullptr;
}

void WindowViews::loaded(Window& window) {
  if (views_.count(&window)) return;
  views_[&window] = new WindowView(window);
}

void WindowViews::unloaded(Window& window) {
  auto it = views_.find(&window);
  if (it == views_.end()) return;
  WindowView* view = it->second;
  views_.erase(it);
  // The window's controls are gone already; the view may be the one whose close event unloaded it, so it is
  // hidden now and deleted once the event loop is back.
  view->detach();
  view->hide();
  view->deleteLater();
}

}  // namespace qm

#include "engine/src/EngineWindow.h"

#include "engine/src/Engine.h"
#include "engine/src/EnginePage.h"
#include "engine/src/NativeObject.h"
#include "engine/src/SchemeHandler.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <QWindow>

#include <X11/Xlib.h>

QSet<EngineWindow *> EngineWindow::live;

namespace {
// "700", "700px" and "700dip" all give 700.
int lengthOf(const QJsonValue &v) {
  QString text = v.toString().trimmed();
  int end = 0;
  while (end < text.size() && (text[end].isDigit() || text[end] == '.'))
    ++end;
  return static_cast<int>(text.left(end).toDouble() + 0.5);
}

bool isFalse(const QString &text) {
  const QString t = text.trimmed().toLower();
  return t == "false" || t == "no" || t == "0" || t == "none";
}

QString localPath(QString path) {
  if (path.startsWith("file://"))
    path = QUrl(path).toLocalFile();
  return path.replace('\\', '/');
}

// Whether a compositing manager runs on the X screen, so that transparent
// pixels show what lies under the window rather than black.
bool compositorRuns() {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    return true; // Wayland composites always
  Display *display = XOpenDisplay(nullptr);
  if (!display)
    return false;
  const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
  const bool owned = XGetSelectionOwner(display, XInternAtom(display, name.constData(), False));
  XCloseDisplay(display);
  return owned;
}
} // namespace

EngineWindow::EngineWindow(UINT flags, const RECT32 *frame, EngineWindow *owner)
    : QWidget(owner, Qt::Window), flags(flags), owner(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  live.insert(this);
  webProfile = owner ? owner->root()->profile()
                     : Engine::instance().createProfile(this, flags & SW_ENABLE_DEBUG);
  // Where a compositor runs, every window gets an alpha channel before its
  // view exists; the page's background decides what shows through.
  seeThrough = compositorRuns();
  setAttribute(Qt::WA_TranslucentBackground, seeThrough);
  view = new QWebEngineView(this);
  view->setAttribute(Qt::WA_TranslucentBackground, seeThrough);
  // No browser menu (Back, Reload, View source): the page is the program.
  // Keyboard copy and paste still work in fields.
  view->setContextMenuPolicy(Qt::NoContextMenu);
  // Dropped files and links would take the window to them.
  view->installEventFilter(this);
  webPage = new EnginePage(webProfile, this);
  webPage->setBackgroundColor(Qt::white); // until the root element asks for a transparent frame
  view->setPage(webPage);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  if (frame && frame->right > frame->left && frame->bottom > frame->top) {
    setGeometry(frame->left, frame->top, frame->right - frame->left, frame->bottom - frame->top);
    positioned = sizedByCaller = true;
  } else {
    resize(800, 600);
  }
  connect(webPage, &QWebEnginePage::loadStarted, this, [this] { loading = true; });
  connect(webPage, &QWebEnginePage::loadFinished, this, [this] {
    loading = false;
    if (pendingShow)
      reveal();
  });
  connect(webPage, &QWebEnginePage::titleChanged, this, [this](const QString &title) {
    if (!titleFromHost)
      setWindowTitle(title);
  });
  connect(webPage, &QWebEnginePage::windowCloseRequested, this, &EngineWindow::closeSoon);
  Engine::instance().windowCreated(flags & SW_MAIN);
}

EngineWindow::~EngineWindow() {
  live.remove(this);
  // Modal windows go first: they use this window's profile and callback.
  // (findChildren cannot tell them from the view: this class has no meta
  // object of its own, so the live windows say which children they are.)
  QList<EngineWindow *> modals;
  for (EngineWindow *window : qAsConst(live))
    if (window->parentWidget() == this)
      modals.append(window);
  qDeleteAll(modals);
  windowInterface.reset();
  // The page goes first and detaches itself from the view: detaching it
  // from the view side (setPage(nullptr)) stops a timer of the view's render
  // widget, which at shutdown may already be gone.
  delete webPage;
  if (callback) {
    SCN_ENGINE_DESTROYED destroyed{SC_ENGINE_DESTROYED, handle()};
    callback(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&destroyed), callbackParam);
  }
  Engine::instance().windowDestroyed(flags & SW_MAIN);
}

EngineWindow *EngineWindow::from(HWINDOW handle) {
  auto *window = static_cast<EngineWindow *>(handle);
  return live.contains(window) ? window : nullptr;
}

int EngineWindow::liveCount() {
  return live.size();
}

void EngineWindow::destroyAll() {
  while (!live.isEmpty()) {
    EngineWindow *window = *live.begin();
    while (window->owner && live.contains(window->owner))
      window = window->owner;
    delete window;
  }
}

EngineWindow *EngineWindow::root() {
  EngineWindow *window = this;
  while (window->owner)
    window = window->owner;
  return window;
}

void EngineWindow::setCallback(LPSciterHostCallback cb, void *param) {
  callback = cb;
  callbackParam = param;
}

void EngineWindow::attachHandler(LPELEMENT_EVENT_PROC proc, void *tag) {
  handler = proc;
  handlerTag = tag;
  windowInterface.reset();
  interfaceQueried = false;
}

UINT EngineWindow::notifyHost(SCITER_CALLBACK_NOTIFICATION *notification) {
  EngineWindow *top = root();
  if (!top->callback)
    return 0;
  notification->hwnd = top->handle();
  return top->callback(notification, top->callbackParam);
}

bool EngineWindow::load(const QUrl &url) {
  if (!url.isValid())
    return false;
  loading = true;
  webPage->load(url);
  return true;
}

void EngineWindow::setHostTitle(const QString &title) {
  titleFromHost = true;
  setWindowTitle(title);
}

void EngineWindow::setState(UINT state) {
  switch (state) {
  case SCITER_WINDOW_STATE_SHOWN:
    // Wait briefly for the page's window attributes, so the window opens
    // at its final size and frame.
    if (!attributesApplied && loading) {
      pendingShow = true;
      QTimer::singleShot(1000, this, [this] {
        if (pendingShow)
          reveal();
      });
    } else {
      reveal();
    }
    break;
  case SCITER_WINDOW_STATE_HIDDEN:
    pendingShow = false;
    hide();
    break;
  case SCITER_WINDOW_STATE_MINIMIZED:
    showMinimized();
    break;
  case SCITER_WINDOW_STATE_MAXIMIZED:
    showMaximized();
    break;
  case SCITER_WINDOW_STATE_FULL_SCREEN:
    showFullScreen();
    break;
  case SCITER_WINDOW_STATE_CLOSED:
    closeSoon();
    break;
  default:
    break;
  }
}

UINT EngineWindow::state() const {
  if (isFullScreen())
    return SCITER_WINDOW_STATE_FULL_SCREEN;
  if (isMinimized())
    return SCITER_WINDOW_STATE_MINIMIZED;
  if (isMaximized())
    return SCITER_WINDOW_STATE_MAXIMIZED;
  return isVisible() ? SCITER_WINDOW_STATE_SHOWN : SCITER_WINDOW_STATE_HIDDEN;
}

void EngineWindow::reveal() {
  pendingShow = false;
  if (!positioned) {
    positioned = true;
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      QRect area = owner ? owner->frameGeometry() : screen->availableGeometry();
      move(area.center() - QPoint(width() / 2, height() / 2));
    }
  }
  show();
  raise();
  activateWindow();
}

void EngineWindow::documentStarted() {
  attributesApplied = false;
}

void EngineWindow::applyAttributes(const QJsonObject &a) {
  attributesApplied = true;
  if (!sizedByCaller) {
    const int w = lengthOf(a.value("width")), h = lengthOf(a.value("height"));
    if (w > 0 || h > 0)
      resize(w > 0 ? w : width(), h > 0 ? h : height());
    if (a.value("resizable").isString())
      setResizable(!isFalse(a.value("resizable").toString()));
  }
  // Later messages carry only the language and the title.
  if (a.contains("frame"))
    setTransparent(a.value("frame").toString().trimmed().toLower() == "transparent");
  if (a.value("title").isString() && !titleFromHost)
    setWindowTitle(a.value("title").toString());
  if (a.value("lang").isString())
    Engine::instance().useLanguage(a.value("lang").toString().trimmed());
  if (a.value("icon").isString())
    loadIcon(QUrl(a.value("icon").toString()));
  if (pendingShow)
    reveal();
}

void EngineWindow::setResizable(bool value) {
  resizable = value;
  if (value) {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    setFixedSize(size());
  }
}

void EngineWindow::setTransparent(bool value) {
  if (value == transparent)
    return;
  transparent = value;
  // Without a compositor the page's own background fills the frame: a card
  // on white rather than on black.
  const bool wasVisible = isVisible();
  webPage->setBackgroundColor(value && seeThrough ? Qt::transparent : Qt::white);
  setWindowFlag(Qt::FramelessWindowHint, value);
  if (wasVisible)
    show(); // changing the flags hides the window
}

void EngineWindow::loadIcon(const QUrl &url) {
  QByteArray bytes;
  if (SchemeHandler::fetch(this, url, &bytes)) {
    QPixmap pixmap;
    if (pixmap.loadFromData(bytes))
      setWindowIcon(QIcon(pixmap));
  }
}

QJsonValue EngineWindow::box(const QString &part, const QString &edge,
                             const QString &relativeTo) const {
  QRect r = edge == "border" ? frameGeometry() : QRect(mapToGlobal(QPoint(0, 0)), size());
  if (relativeTo == "self")
    r.translate(-mapToGlobal(QPoint(0, 0)));
  const auto wire = [](const QJsonArray &items) { return QJsonValue(QJsonObject{{"a", items}}); };
  if (part == "rect")
    return wire(QJsonArray{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
  if (part == "position")
    return wire(QJsonArray{r.x(), r.y()});
  if (part == "dimension")
    return wire(QJsonArray{r.width(), r.height()});
  if (part == "left")
    return r.left();
  if (part == "top")
    return r.top();
  if (part == "right")
    return r.left() + r.width();
  if (part == "bottom")
    return r.top() + r.height();
  if (part == "width")
    return r.width();
  if (part == "height")
    return r.height();
  return wire(QJsonArray{r.x(), r.y(), r.width(), r.height()});
}

void EngineWindow::openModal(const QJsonObject &params) {
  auto *modal = new EngineWindow(flags & SW_ENABLE_DEBUG, nullptr, this);
  modal->setWindowModality(Qt::WindowModal);
  const int w = params.value("width").toInt(), h = params.value("height").toInt();
  if (w > 0 && h > 0) {
    modal->resize(w, h);
    modal->sizedByCaller = true;
  }
  if (params.contains("x") && params.contains("y")) {
    modal->move(params.value("x").toInt(), params.value("y").toInt());
    modal->positioned = true;
  }
  if (params.contains("resizable"))
    modal->setResizable(params.value("resizable").toBool());
  modal->load(QUrl(params.value("url").toString()));
  modal->setState(SCITER_WINDOW_STATE_SHOWN);
}

QString EngineWindow::selectFolder(const QString &caption, const QString &path) {
  const QString folder = QFileDialog::getExistingDirectory(this, caption, localPath(path));
  return folder.isEmpty() ? QString() : QUrl::fromLocalFile(folder).toString();
}

QString EngineWindow::frameType() const {
  return transparent ? "transparent" : "standard";
}

bool EngineWindow::isResizable() const {
  return resizable;
}

QString EngineWindow::startDrag() {
  QWindow *w = windowHandle();
  return w && w->startSystemMove() ? "system" : "script";
}

void EngineWindow::moveFrameTo(int x, int y) {
  move(x, y);
}

void EngineWindow::closeSoon() {
  // Never inside a bridge call: the page must not go away under it.
  QTimer::singleShot(0, this, &QWidget::close);
}

const NativeObject *EngineWindow::scriptInterface() {
  if (!interfaceQueried && handler) {
    interfaceQueried = true;
    SOM_PARAMS passport{};
    passport.cmd = SOM_GET_PASSPORT;
    SOM_PARAMS asset{};
    asset.cmd = SOM_GET_ASSET;
    if (handler(handlerTag, nullptr, HANDLE_SOM, &passport) && passport.data.passport &&
        handler(handlerTag, nullptr, HANDLE_SOM, &asset) && asset.data.asset)
      windowInterface = std::make_unique<NativeObject>(asset.data.asset, passport.data.passport);
  }
  return windowInterface.get();
}

void EngineWindow::closeEvent(QCloseEvent *event) {
  event->accept();
}

bool EngineWindow::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove:
  case QEvent::Drop: {
    // Text may still be dropped into a field; files and links never arrive.
    auto *drop = static_cast<QDropEvent *>(event);
    if (drop->mimeData() && drop->mimeData()->hasUrls()) {
      drop->setDropAction(Qt::IgnoreAction);
      drop->ignore();
      return true;
    }
    break;
  }
  default:
    break;
  }
  return QWidget::eventFilter(watched, event);
}

#pragma once
// An engine window: a top-level widget showing one page, with the host's
// callback and script interface, the root element's window attributes and
// the window operations of Window.this.
#include "engine/include/tidewell/engine-api.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QWidget>

#include <memory>

class EnginePage;
class NativeObject;
class QWebEngineProfile;
class QWebEngineView;

class EngineWindow : public QWidget {
public:
  EngineWindow(UINT flags, const RECT32 *frame, EngineWindow *owner);
  ~EngineWindow() override;

  // The live window behind a handle, or null.
  static EngineWindow *from(HWINDOW handle);
  static int liveCount();
  static void destroyAll();
  HWINDOW handle() { return this; }
  // The host-created window at the top of the owner chain.
  EngineWindow *root();
  QWebEngineProfile *profile() const { return webProfile; }
  EnginePage *page() const { return webPage; }

  void setCallback(LPSciterHostCallback callback, void *param);
  void attachHandler(LPELEMENT_EVENT_PROC handler, void *tag);
  // Host notification through the root window's callback; 0 without one.
  UINT notifyHost(SCITER_CALLBACK_NOTIFICATION *notification);
  bool load(const QUrl &url);
  // The host's title stays until the host sets another; the document's
  // title shows only while the host has set none.
  void setHostTitle(const QString &title);
  void setState(UINT state);
  UINT state() const;

  // Window.this
  void documentStarted();
  void applyAttributes(const QJsonObject &attributes);
  QJsonValue box(const QString &part, const QString &edge, const QString &relativeTo) const;
  void openModal(const QJsonObject &params);
  QString selectFolder(const QString &caption, const QString &path);
  QString frameType() const;
  bool isResizable() const;
  QString startDrag();
  void moveFrameTo(int x, int y);
  void closeSoon();
  const NativeObject *scriptInterface();

protected:
  void closeEvent(QCloseEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void reveal();
  void setResizable(bool resizable);
  void setTransparent(bool transparent);
  void loadIcon(const QUrl &url);

  static QSet<EngineWindow *> live;
  const UINT flags;
  QPointer<EngineWindow> owner;
  QWebEngineProfile *webProfile;
  QWebEngineView *view;
  EnginePage *webPage;
  LPSciterHostCallback callback = nullptr;
  void *callbackParam = nullptr;
  LPELEMENT_EVENT_PROC handler = nullptr;
  void *handlerTag = nullptr;
  std::unique_ptr<NativeObject> windowInterface;
  bool interfaceQueried = false;
  bool loading = false;
  bool attributesApplied = false;
  bool pendingShow = false;
  bool positioned = false;
  bool sizedByCaller = false;
  bool transparent = false;
  bool seeThrough = false; // a compositor shows what lies under transparent pixels
  bool resizable = true;
  bool titleFromHost = false;
};

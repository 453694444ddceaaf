#include "app/TinyWindow.h"

#include <array>

#include "base/log/Log.h"
#include "bridge/MethodTable.h"

TinyWindow::TinyWindow(const ISciterAPI &api, UINT creationFlags,
                       ResourceDecision::ItemLookup archive)
    : api(api), archive(std::move(archive)) {
  window = api.SciterCreateWindow(creationFlags, nullptr, nullptr, nullptr, nullptr);
  // The engine's own reference, dropped when it reports the window destroyed.
  if (window)
    addRef();
}

HWINDOW TinyWindow::handle() {
  if (window && !attached) {
    attached = true;
    api.SciterSetCallback(window, &TinyWindow::hostCallback, this);
    api.SciterWindowAttachEventHandler(window, &TinyWindow::eventHandler, this, HANDLE_ALL);
  }
  return window;
}

UINT TinyWindow::hostCallback(SCITER_CALLBACK_NOTIFICATION *notification, void *param) {
  auto *self = static_cast<TinyWindow *>(param);
  switch (notification->code) {
  case SC_LOAD_DATA:
    return self->loadData(*reinterpret_cast<SCN_LOAD_DATA *>(notification));
  case SC_ENGINE_DESTROYED:
    self->window = nullptr;
    self->release();
    return 0;
  default:
    // Data loaded, posted notifications and graphics failures need nothing;
    // there are no native behaviours to attach.
    return 0;
  }
}

UINT TinyWindow::loadData(const SCN_LOAD_DATA &request) {
  const QString url = QString::fromUtf16(request.uri);
  const ResourceDecision::Decision decision = ResourceDecision::decide(url, archive);
  if (decision.action == ResourceDecision::Action::HandOver)
    api.SciterDataReady(request.hwnd, request.uri, decision.data, decision.size);
  return static_cast<UINT>(decision.answer());
}

BOOL32 TinyWindow::eventHandler(void *tag, HELEMENT, UINT group, void *params) {
  if (group != HANDLE_SOM || !params)
    return 0;
  auto *self = static_cast<TinyWindow *>(tag);
  auto *request = static_cast<SOM_PARAMS *>(params);
  if (request->cmd == SOM_GET_PASSPORT) {
    request->data.passport = self->passport();
    return 1;
  }
  if (request->cmd == SOM_GET_ASSET) {
    request->data.asset = self;
    return 1;
  }
  return 0;
}

som_passport_t *TinyWindow::passport() {
  static const std::array<som_method_def_t, 3> methods = {
      MethodTable::method<&TinyWindow::hideFromTaskBar>(api, "hideFromTaskBar"),
      MethodTable::method<&TinyWindow::hwnd>(api, "hwnd"),
      MethodTable::method<&TinyWindow::setTitle>(api, "setTitle"),
  };
  static const std::array<som_property_def_t, 1> properties = {
      MethodTable::property<&TinyWindow::showOnLoaded>(api, "showOnLoaded"),
  };
  static som_passport_t passport = MethodTable::passport(api, "N", methods, properties);
  return &passport;
}

bool TinyWindow::hideFromTaskBar() {
  Log::info("TinyWindow", "hide from taskbar");
  api.SciterWindowExec(window, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_SHOWN, 0);
  api.SciterWindowExec(window, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_HIDDEN, 0);
  return true;
}

qint64 TinyWindow::hwnd() {
  return static_cast<qint64>(reinterpret_cast<intptr_t>(window));
}

void TinyWindow::setTitle(const QString &title) {
  const QByteArray text = title.toUtf8();
  api.SciterWindowExec(window, SCITER_WINDOW_SET_TITLE,
                       reinterpret_cast<uintptr_t>(text.constData()), 0);
}

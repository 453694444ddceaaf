// The exported API table: each entry forwards to the part of the engine
// that owns it. Window entries run on the UI thread; ValueInvoke and
// SciterFireEvent may be called from any thread.
#include "engine/include/tidewell/engine-api.h"

#include "engine/src/Archives.h"
#include "engine/src/Atoms.h"
#include "engine/src/CallQueue.h"
#include "engine/src/Engine.h"
#include "engine/src/EngineWindow.h"
#include "engine/src/GlobalAssets.h"
#include "engine/src/SchemeHandler.h"
#include "engine/src/Settlements.h"
#include "engine/src/Value.h"
#include "engine/src/ValueJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace {
QString text16(LPCWSTR16 s) {
  return s ? QString::fromUtf16(s) : QString();
}

UINT SciterVersion(UINT part) {
  static const UINT parts[] = {6, 0, 4, 5};
  return part < 4 ? parts[part] : 0;
}

intptr_t SciterExec(UINT command, uintptr_t p1, uintptr_t p2) {
  return Engine::instance().exec(command, p1, p2);
}

BOOL32 SciterSetOption(HWINDOW hwnd, UINT option, uintptr_t value) {
  return Engine::instance().setOption(hwnd, option, value);
}

HSARCHIVE SciterOpenArchive(const uint8_t *data, UINT size) {
  return Archives::instance().open(data, size);
}

BOOL32 SciterGetArchiveItem(HSARCHIVE harc, LPCWSTR16 path, const uint8_t **pdata, UINT *psize) {
  if (!pdata || !path)
    return false;
  return Archives::instance().item(harc, text16(path), pdata, psize);
}

BOOL32 SciterCloseArchive(HSARCHIVE harc) {
  return Archives::instance().close(harc);
}

HWINDOW SciterCreateWindow(UINT flags, const RECT32 *frame, SciterWindowDelegate, void *,
                           HWINDOW parent) {
  if (!Engine::instance().initialised())
    return nullptr;
  auto *window = new EngineWindow(flags, frame, EngineWindow::from(parent));
  return window->handle();
}

void SciterSetCallback(HWINDOW hwnd, LPSciterHostCallback cb, void *param) {
  if (auto *window = EngineWindow::from(hwnd))
    window->setCallback(cb, param);
}

BOOL32 SciterWindowAttachEventHandler(HWINDOW hwnd, LPELEMENT_EVENT_PROC proc, void *tag, UINT) {
  auto *window = EngineWindow::from(hwnd);
  if (!window)
    return false;
  window->attachHandler(proc, tag);
  return true;
}

BOOL32 SciterDataReady(HWINDOW, LPCWSTR16 uri, const uint8_t *data, UINT size) {
  return SchemeHandler::dataReady(text16(uri), data, size);
}

BOOL32 SciterLoadFile(HWINDOW hwnd, LPCWSTR16 url) {
  auto *window = EngineWindow::from(hwnd);
  if (!window || !url)
    return false;
  const QString text = text16(url);
  const QUrl parsed(text);
  return window->load(parsed.scheme().isEmpty() ? QUrl::fromLocalFile(text) : parsed);
}

BOOL32 SciterWindowExec(HWINDOW hwnd, UINT command, uintptr_t p1, uintptr_t) {
  auto *window = EngineWindow::from(hwnd);
  if (!window)
    return false;
  switch (command) {
  case SCITER_WINDOW_SET_STATE:
    window->setState(static_cast<UINT>(p1));
    return true;
  case SCITER_WINDOW_GET_STATE:
    if (p1)
      *reinterpret_cast<UINT *>(p1) = window->state();
    return true;
  case SCITER_WINDOW_SET_TITLE:
    if (!p1)
      return false;
    window->setHostTitle(QString::fromUtf8(reinterpret_cast<const char *>(p1)));
    return true;
  case SCITER_WINDOW_ACTIVATE:
    window->raise();
    window->activateWindow();
    return true;
  default:
    return false;
  }
}

BOOL32 SciterSetGlobalAsset(som_asset_t *asset) {
  return GlobalAssets::instance().add(asset);
}

som_atom_t SciterAtomValue(const char *name) {
  return Atoms::instance().atom(name);
}

const char *SciterAtomName(som_atom_t atom) {
  return Atoms::instance().name(atom);
}

QByteArray wireText(const QJsonArray &array) {
  return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

BOOL32 SciterFireEvent(const BEHAVIOR_EVENT_PARAMS *evt, BOOL32, BOOL32 *handled) {
  if (handled)
    *handled = false;
  if (!evt || evt->cmd != CUSTOM || !evt->name)
    return false;
  // Always queued: pages get it on the UI thread, in order with callbacks.
  CallQueue::instance().postEvent(text16(evt->name), ValueJson::toWire(evt->data));
  return true;
}

UINT checkedFunction(const VALUE *pval, UINT argc, const VALUE *argv,
                     const FunctionBody **function) {
  if (!pval)
    return HV_BAD_PARAMETER;
  *function = Values::function(*pval);
  if (!*function)
    return HV_INCOMPATIBLE_TYPE;
  return argc && !argv ? HV_BAD_PARAMETER : HV_OK;
}

// The arguments are taken now, on the caller's thread; the call runs later
// on the UI thread.
QByteArray argumentsOf(UINT argc, const VALUE *argv) {
  QJsonArray args;
  for (UINT i = 0; i < argc; ++i)
    args.append(ValueJson::toWire(argv[i]));
  return wireText(args);
}

UINT ValueInvoke(const VALUE *pval, VALUE *, UINT argc, const VALUE *argv, VALUE *pretval,
                 LPCWSTR16) {
  const FunctionBody *function = nullptr;
  if (const UINT status = checkedFunction(pval, argc, argv, &function))
    return status;
  CallQueue::instance().postInvoke(function->document, function->handle, argumentsOf(argc, argv));
  if (pretval)
    Values::clear(pretval);
  return HV_OK;
}

UINT ValueInvokeSettled(const VALUE *pval, UINT argc, const VALUE *argv, SciterSettled settled,
                        void *tag) {
  const FunctionBody *function = nullptr;
  if (const UINT status = checkedFunction(pval, argc, argv, &function))
    return status;
  if (!settled)
    return HV_BAD_PARAMETER;
  const QByteArray arguments = argumentsOf(argc, argv);
  const uint64_t settlement = Settlements::instance().add(function->document, settled, tag);
  if (settlement && !CallQueue::instance().postInvoke(function->document, function->handle,
                                                      arguments, settlement))
    Settlements::instance().settle(settlement, SETTLED_CANCELLED);
  return HV_OK;
}

UINT ValueFunctionWatch(const VALUE *pval, SciterSettled settled, void *tag) {
  const FunctionBody *function = pval ? Values::function(*pval) : nullptr;
  if (!function)
    return HV_INCOMPATIBLE_TYPE;
  if (!settled)
    return HV_BAD_PARAMETER;
  Settlements::instance().add(function->document, settled, tag);
  return HV_OK;
}

UINT ValueFunctionUnwatch(void *tag) {
  return Settlements::instance().cancel(tag) ? HV_OK : HV_BAD_PARAMETER;
}

ISciterAPI api = {
    6,
    SciterVersion,
    SciterExec,
    SciterSetOption,
    SciterOpenArchive,
    SciterGetArchiveItem,
    SciterCloseArchive,
    SciterCreateWindow,
    SciterSetCallback,
    SciterWindowAttachEventHandler,
    SciterDataReady,
    SciterLoadFile,
    SciterWindowExec,
    SciterSetGlobalAsset,
    SciterAtomValue,
    SciterAtomName,
    SciterFireEvent,
    Values::init,
    Values::clear,
    Values::compare,
    Values::copy,
    Values::type,
    Values::stringData,
    Values::stringDataSet,
    Values::intData,
    Values::intDataSet,
    Values::int64Data,
    Values::int64DataSet,
    Values::floatData,
    Values::floatDataSet,
    Values::elementsCount,
    Values::nthElementValue,
    Values::nthElementValueSet,
    Values::nthElementKey,
    Values::setValueToKey,
    Values::getValueOfKey,
    Values::toString,
    Values::fromString,
    Values::isNativeFunctor,
    ValueInvoke,
    ValueInvokeSettled,
    ValueFunctionWatch,
    ValueFunctionUnwatch,
};
} // namespace

extern "C" TW_ENGINE_EXPORT ISciterAPI *SciterAPI(void) {
  return &api;
}

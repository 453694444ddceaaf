#include "engine/src/Bridge.h"

#include "engine/src/CallQueue.h"
#include "engine/src/Documents.h"
#include "engine/src/EnginePage.h"
#include "engine/src/EngineWindow.h"
#include "engine/src/EnvironmentModule.h"
#include "engine/src/FileSystemModule.h"
#include "engine/src/GlobalAssets.h"
#include "engine/src/ValueJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QJsonValue undefinedWire = QJsonObject{{"u", 1}};

QJsonValue windowCall(EngineWindow *window, const QString &op, const QJsonArray &a) {
  if (op == "close") {
    window->closeSoon();
    return undefinedWire;
  }
  if (op == "box")
    return window->box(a.at(0).toString(), a.at(1).toString(), a.at(2).toString());
  if (op == "frameType")
    return window->frameType();
  if (op == "isResizable")
    return window->isResizable();
  if (op == "caption")
    return window->windowTitle();
  if (op == "drag")
    return window->startDrag();
  if (op == "move") {
    window->moveFrameTo(a.at(0).toInt(), a.at(1).toInt());
    return undefinedWire;
  }
  if (op == "openLink")
    return EnginePage::openInBrowser(QUrl(a.at(0).toString()));
  if (op == "selectFolder")
    return window->selectFolder(a.at(0).toString(), a.at(1).toString());
  if (op == "state")
    return static_cast<int>(window->state());
  if (op == "setState") {
    const int state = a.at(0).toInt(-1);
    if (state < SCITER_WINDOW_STATE_MINIMIZED || state > SCITER_WINDOW_STATE_FULL_SCREEN)
      return NativeObject::error(QStringLiteral("no such window state %1").arg(state));
    window->setState(static_cast<UINT>(state));
    return undefinedWire;
  }
  return NativeObject::error(QStringLiteral("unknown window operation %1").arg(op));
}

// Map wire values ({"m": [[k, v]...]}) as plain JSON objects of simple members.
QJsonObject plainObject(const QJsonValue &wire) {
  QJsonObject o;
  for (const QJsonValue &member : wire.toObject().value("m").toArray()) {
    const QJsonArray pair = member.toArray();
    QJsonValue v = pair.at(1);
    if (v.isObject() && v.toObject().contains("f"))
      v = v.toObject().value("f");
    else if (v.isObject())
      v = QJsonValue();
    o.insert(pair.at(0).toString(), v);
  }
  return o;
}

QJsonValue dispatch(EnginePage *page, const QJsonObject &m) {
  const QString kind = m.value("k").toString();
  Documents &documents = Documents::instance();
  if (kind == "init") {
    const uint64_t document = documents.attach(page);
    page->window()->documentStarted();
    return QJsonObject{{"doc", static_cast<double>(document)},
                       {"globals", GlobalAssets::instance().describe()}};
  }
  const uint64_t document = documents.current(page);
  if (!document)
    return NativeObject::error("the document has not started");
  const QJsonArray args = m.value("a").toArray();
  if (kind == "call" || kind == "get" || kind == "set") {
    const NativeObject *object = GlobalAssets::instance().at(m.value("g").toInt(-1));
    if (!object)
      return NativeObject::error("no such native object");
    const int index = m.value("i").toInt(-1);
    if (kind == "call")
      return object->call(index, args, document);
    if (kind == "get")
      return object->get(index);
    return object->set(index, m.value("v"), document);
  }
  if (kind == "xcall") {
    const NativeObject *object = page->window()->scriptInterface();
    if (!object)
      return NativeObject::error("the window has no script interface");
    return object->callByName(m.value("n").toString(), args, document);
  }
  if (kind == "win") {
    const QString op = m.value("op").toString();
    if (op == "modal" || op == "attributes") {
      const QJsonObject params = plainObject(args.at(0));
      if (op == "modal") {
        page->window()->openModal(params);
        return undefinedWire;
      }
      page->window()->applyAttributes(params);
      return undefinedWire;
    }
    return windowCall(page->window(), op, args);
  }
  if (kind == "post") {
    const QString name = m.value("n").toString();
    if (name.isEmpty() || name.startsWith(QLatin1String("NATIVE_")))
      return NativeObject::error(QStringLiteral("a page cannot post the event \"%1\"").arg(name));
    CallQueue::instance().postEvent(name, m.value("d"));
    return undefinedWire;
  }
  if (kind == "sys")
    return FileSystemModule::call(m.value("op").toString(), args);
  if (kind == "env")
    return EnvironmentModule::call(m.value("op").toString(), args);
  return NativeObject::error(QStringLiteral("unknown bridge message %1").arg(kind));
}
} // namespace

QString Bridge::handle(EnginePage *page, const QString &message) {
  const QJsonDocument doc = QJsonDocument::fromJson(message.toUtf8());
  const QJsonValue reply = doc.isObject() ? dispatch(page, doc.object())
                                          : NativeObject::error("malformed bridge message");
  return QString::fromUtf8(QJsonDocument(QJsonArray{reply}).toJson(QJsonDocument::Compact));
}

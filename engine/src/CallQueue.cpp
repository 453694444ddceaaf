#include "engine/src/CallQueue.h"

#include "engine/src/Documents.h"
#include "engine/src/EnginePage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaObject>
#include <QVector>

CallQueue &CallQueue::instance() {
  // Never destroyed: threads the host never stops may still call in while
  // the process exits.
  static CallQueue *queue = new CallQueue;
  return *queue;
}

void CallQueue::start() {
  std::lock_guard<std::mutex> guard(lock);
  active = true;
}

void CallQueue::stop() {
  std::vector<Task> dropped;
  std::lock_guard<std::mutex> guard(lock);
  active = false;
  scheduled = false;
  dropped.swap(tasks);
}

void CallQueue::post(Task task) {
  std::lock_guard<std::mutex> guard(lock);
  if (!active)
    return;
  tasks.push_back(std::move(task));
  if (!scheduled) {
    scheduled = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this] { drain(); }, Qt::QueuedConnection);
  }
}

void CallQueue::postInvoke(uint64_t document, int64_t handle, QByteArray arguments) {
  post({Task::Invoke, document, handle, std::move(arguments)});
}

void CallQueue::postEvent(QString name, QByteArray data) {
  const QByteArray nameJson =
      QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
  post({Task::Event, 0, 0, nameJson + "," + data});
}

void CallQueue::postRelease(uint64_t document, int64_t handle) {
  post({Task::Release, document, handle, QByteArray()});
}

void CallQueue::drain() {
  std::vector<Task> batch;
  {
    std::lock_guard<std::mutex> guard(lock);
    batch.swap(tasks);
    scheduled = false;
  }
  // One script per document, its items in the order they were queued.
  struct Delivery {
    EnginePage *page;
    uint64_t document;
    QByteArray items;
  };
  QVector<Delivery> deliveries;
  auto add = [&](EnginePage *page, uint64_t document, const QByteArray &item) {
    for (auto &d : deliveries)
      if (d.page == page && d.document == document) {
        d.items += "," + item;
        return;
      }
    deliveries.append({page, document, item});
  };
  Documents &documents = Documents::instance();
  for (const Task &task : batch) {
    if (task.kind == Task::Event) {
      for (const auto &live : documents.all())
        add(live.first, live.second, "[\"g\"," + task.payload + "]");
      continue;
    }
    EnginePage *page = documents.page(task.document);
    if (!page)
      continue; // the document is gone: its calls are dropped
    const QByteArray handle = QByteArray::number(static_cast<qlonglong>(task.handle));
    if (task.kind == Task::Invoke)
      add(page, task.document, "[\"i\"," + handle + "," + task.payload + "]");
    else
      add(page, task.document, "[\"r\"," + handle + "]");
  }
  for (const auto &d : deliveries)
    d.page->deliver(d.document, d.items);
}

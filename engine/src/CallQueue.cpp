#include "engine/src/CallQueue.h"

#include "engine/src/Documents.h"
#include "engine/src/EnginePage.h"
#include "engine/src/Settlements.h"

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
  Settlements::instance().start();
  std::lock_guard<std::mutex> guard(lock);
  active = true;
}

void CallQueue::stop() {
  std::vector<Task> dropped;
  {
    // After this no thread reaches the application object through post.
    std::lock_guard<std::mutex> guard(lock);
    active = false;
    scheduled = false;
    dropped.swap(tasks);
  }
  Settlements::instance().shutdown();
}

bool CallQueue::post(Task task) {
  std::lock_guard<std::mutex> guard(lock);
  if (!active)
    return false;
  tasks.push_back(std::move(task));
  if (!scheduled) {
    scheduled = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this] { drain(); }, Qt::QueuedConnection);
  }
  return true;
}

bool CallQueue::postInvoke(uint64_t document, int64_t handle, QByteArray arguments,
                           uint64_t settlement) {
  return post({Task::Invoke, document, handle, std::move(arguments), settlement});
}

void CallQueue::postEvent(const QString &name, const QJsonValue &data) {
  const QByteArray text = QJsonDocument(QJsonArray{name, data}).toJson(QJsonDocument::Compact);
  post({Task::Event, 0, 0, text.mid(1).chopped(1)});
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
    std::vector<uint64_t> settlements;
  };
  QVector<Delivery> deliveries;
  auto add = [&](EnginePage *page, uint64_t document, const QByteArray &item,
                 uint64_t settlement = 0) {
    Delivery *delivery = nullptr;
    for (auto &d : deliveries)
      if (d.page == page && d.document == document)
        delivery = &d;
    if (delivery) {
      delivery->items += "," + item;
    } else {
      deliveries.append({page, document, item, {}});
      delivery = &deliveries.last();
    }
    if (settlement)
      delivery->settlements.push_back(settlement);
  };
  Settlements &settlements = Settlements::instance();
  Documents &documents = Documents::instance();
  for (const Task &task : batch) {
    if (task.kind == Task::Event) {
      for (const auto &live : documents.all())
        add(live.first, live.second, "[\"g\"," + task.payload + "]");
      continue;
    }
    EnginePage *page = documents.page(task.document);
    if (!page) {
      // The document is gone: its calls are dropped.
      if (task.settlement)
        settlements.settle(task.settlement, SETTLED_GONE);
      continue;
    }
    const QByteArray handle = QByteArray::number(static_cast<qlonglong>(task.handle));
    if (task.kind == Task::Invoke)
      add(page, task.document, "[\"i\"," + handle + "," + task.payload + "]", task.settlement);
    else
      add(page, task.document, "[\"r\"," + handle + "]");
  }
  for (const auto &d : deliveries) {
    if (d.settlements.empty()) {
      d.page->deliver(d.document, d.items);
      continue;
    }
    d.page->deliver(d.document, d.items, [ids = d.settlements](bool ran) {
      for (uint64_t id : ids)
        Settlements::instance().settle(id, ran ? SETTLED_RAN : SETTLED_GONE);
    });
  }
}

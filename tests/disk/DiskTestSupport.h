#pragma once
// Temporary trees and a callback recorder for the disk tests.
#include "base/CallbackEvent.h"
#include "tests/support/TempTree.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// Records every message of a scan; safe to call from the worker thread.
class MessageLog {
public:
  struct Message {
    QString type;
    int id = 0;
    QString data;
    QString error;
    QStringList keys;
  };

  static std::shared_ptr<MessageLog> create() { return std::make_shared<MessageLog>(); }

  ScriptCallback callback(const std::shared_ptr<MessageLog> &self) {
    return [self](const CallbackEvent &event) { self->record(event); };
  }

  // Waits for an end or failure message; false on time-out.
  bool waitForEnd(std::chrono::seconds timeout = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, timeout, [this] { return endCount_ > 0; });
  }

  std::vector<Message> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  Message last() { return messages().back(); }

  // Progress messages only before exactly one final message.
  bool wellFormed() {
    const std::vector<Message> all = messages();
    if (all.empty())
      return false;
    for (size_t i = 0; i + 1 < all.size(); ++i) {
      if (all[i].type != QLatin1String("progress"))
        return false;
    }
    const QString end = all.back().type;
    return end == QLatin1String("done") || end == QLatin1String("stopped") ||
           end == QLatin1String("error");
  }

private:
  void record(const CallbackEvent &event) {
    Message message;
    for (const CallbackEvent::Field &field : event.fields()) {
      message.keys.append(field.key);
      if (field.key == QLatin1String("type") && field.kind == CallbackEvent::Kind::Symbol)
        message.type = field.text;
      else if (field.key == QLatin1String("id") && field.kind == CallbackEvent::Kind::Integer)
        message.id = int(field.number);
      else if (field.key == QLatin1String("data") && field.kind == CallbackEvent::Kind::Text)
        message.data = field.text;
      else if (field.key == QLatin1String("error") && field.kind == CallbackEvent::Kind::Text)
        message.error = field.text;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
    if (message.type != QLatin1String("progress")) {
      ++endCount_;
      ended_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<Message> messages_;
  int endCount_ = 0;
};

inline QSet<QString> setOf(const QStringList &items) {
  return QSet<QString>(items.begin(), items.end());
}

inline QJsonObject parseObject(const QString &text) {
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

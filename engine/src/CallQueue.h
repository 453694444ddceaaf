#pragma once
// Calls into scripts made from any thread: function invocations, global
// events and releases of kept functions. Each is queued in the order made
// and delivered on the UI thread; the caller never waits.
#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <mutex>
#include <vector>

class CallQueue {
public:
  static CallQueue &instance();
  // Between start and stop (UI thread) calls are delivered; otherwise dropped.
  void start();
  void stop();
  // settlement: an open registration (Settlements) to settle once the call
  // has run, or 0. False if the call was dropped because the engine stopped.
  bool postInvoke(uint64_t document, int64_t handle, QByteArray arguments, uint64_t settlement = 0);
  // data: a wire value.
  void postEvent(const QString &name, const QJsonValue &data);
  void postRelease(uint64_t document, int64_t handle);

private:
  struct Task {
    enum Kind { Invoke, Event, Release } kind;
    uint64_t document;
    int64_t handle;
    QByteArray payload; // wire JSON: the argument array, or the event's name and data
    uint64_t settlement = 0;
  };
  bool post(Task task);
  void drain();

  std::mutex lock;
  std::vector<Task> tasks;
  bool active = false;
  bool scheduled = false;
};

#pragma once
// Calls into scripts made from any thread: function invocations, global
// events and releases of kept functions. Each is queued in the order made
// and delivered on the UI thread; the caller never waits.
#include <QByteArray>
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
  void postInvoke(uint64_t document, int64_t handle, QByteArray arguments);
  void postEvent(QString name, QByteArray data);
  void postRelease(uint64_t document, int64_t handle);

private:
  struct Task {
    enum Kind { Invoke, Event, Release } kind;
    uint64_t document;
    int64_t handle;
    QByteArray payload; // wire JSON: the argument array, or the event's name and data
  };
  void post(Task task);
  void drain();

  std::mutex lock;
  std::vector<Task> tasks;
  bool active = false;
  bool scheduled = false;
};

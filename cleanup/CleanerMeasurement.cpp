#include "cleanup/CleanerMeasurement.h"

#include <QJsonDocument>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "cleanup/PrivacyCleaner.h"

namespace CleanerMeasurement {
namespace {

struct State {
  std::mutex mutex;
  std::condition_variable idle;
  int workers = 0;
  int lastId = 0;
  std::shared_ptr<std::atomic<bool>> stop; // the running measurement's
};

State &state() {
  static State *shared = new State; // never destroyed: a worker may end after exit begins
  return *shared;
}

} // namespace

int start(ScriptCallback callback) {
  State &shared = state();
  auto stop = std::make_shared<std::atomic<bool>>(false);
  int id = 0;
  {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.stop)
      *shared.stop = true;
    shared.stop = stop;
    id = ++shared.lastId;
    ++shared.workers;
  }
  std::thread([id, stop, callback = std::move(callback)]() mutable {
    const auto send = [&](const char *type, const QString &data) {
      CallbackEvent event;
      event.symbol(QStringLiteral("type"), QString::fromLatin1(type))
          .integer(QStringLiteral("id"), id);
      if (!data.isNull())
        event.text(QStringLiteral("data"), data);
      callback(event);
    };
    PrivacyCleaner().measureRows([&](const QJsonObject &row) {
      if (*stop)
        return false;
      send("item", QString::fromUtf8(QJsonDocument(row).toJson(QJsonDocument::Compact)));
      return true;
    });
    if (!*stop)
      send("done", QString());
    callback = nullptr; // let go of the page's function before saying we are done
    State &shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    --shared.workers;
    shared.idle.notify_all();
  }).detach();
  return id;
}

void stopAll() {
  State &shared = state();
  std::unique_lock<std::mutex> lock(shared.mutex);
  if (shared.stop)
    *shared.stop = true;
  shared.idle.wait(lock, [&] { return shared.workers == 0; });
}

} // namespace CleanerMeasurement

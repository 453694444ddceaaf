#pragma once
// The local test service and a private message bus, as real processes that
// a test starts and ends.
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <functional>
#include <memory>

#include "platform/os/Connectivity.h"

// tests/service/service.py on 127.0.0.1 with a free port.
class TestService {
public:
  TestService();
  ~TestService();

  bool isRunning() const { return !origin_.isEmpty(); }
  QString origin() const { return origin_; }
  QString url(const QString &path) const { return origin_ + path; }
  quint16 port() const;

  // Every request recorded since the last reset, in arrival order.
  QJsonArray requests() const;
  // Requests to one path.
  QJsonArray requestsTo(const QString &path) const;
  void rule(const QString &path, const QJsonObject &switches) const;
  void reset() const;
  QString sha256OfFile(qint64 size) const;

private:
  QByteArray control(const QString &path, const QByteArray &body = QByteArray()) const;

  QProcess process_;
  QString origin_;
};

// A message bus of our own (dbus-daemon), optionally with a stand-in for
// NetworkManager that reports the given connectivity state.
class PrivateBus {
public:
  PrivateBus();
  ~PrivateBus();
  bool isRunning() const { return !address_.isEmpty(); }
  QString address() const { return address_; }
  bool startNetworkManager(uint state);
  void stopNetworkManager();

private:
  QProcess daemon_;
  QProcess networkManager_;
  QString address_;
};

// A connectivity answer fixed by the test.
class FixedConnectivity : public Connectivity {
public:
  explicit FixedConnectivity(bool online) : online(online) {}
  bool isOnline() const override { return online; }
  bool online;
};

// Runs the event loop until done() holds or the time is up; done()'s last answer.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();

// Sets an environment variable for the scope, restoring the old value.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const QByteArray &value);
  ~ScopedEnv();

private:
  const char *name_;
  QByteArray old_;
  bool wasSet_;
};

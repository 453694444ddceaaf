#pragma once
// The application runs once per user session. The first start holds an
// advisory lock in the user's runtime folder for as long as it lives (the
// kernel drops it when the process dies, however it dies) and listens on a
// local socket beside it; a later start finds the lock taken, asks the
// first through the socket to bring its window forward, and ends.
#include <QLocalServer>
#include <QString>
#include <functional>

class SingleInstance {
public:
  // Claims the session; false when another process holds it (that process
  // was asked to come forward). Where no lock can be taken at all, the
  // program runs rather than refusing to.
  bool claim();
  // What the first process does when a later start asks for it.
  void onRaiseRequest(std::function<void()> raise);

private:
  bool askFirstToRaise(const QString &socketPath);
  void listen(const QString &socketPath);

  int lockFd = -1;
  QLocalServer server;
  std::function<void()> raise;
};

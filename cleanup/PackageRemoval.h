#pragma once
// Removes a Debian package through PackageKit over D-Bus, which asks the user
// for authorisation itself, after a simulated removal shows that it would
// take neither an essential package nor the desktop with it.
#include <QString>
#include <QStringList>

class PackageRemoval {
public:
  // busAddress: PackageKit's bus; empty for the system bus.
  PackageRemoval(QString aptGet, QString busAddress);

  // The packages a removal would take, from apt-get's simulation; empty with
  // a reason in refusal() when the removal must not go ahead.
  QStringList simulate(const QString &package);
  // Starts the removal and returns without waiting for it.
  bool start(const QString &packageId);

  const QString &refusal() const { return refusal_; }

private:
  QString aptGet_;
  QString busAddress_;
  QString refusal_;
};

#include "online/ClientIdentity.h"

#include <QCryptographicHash>
#include <QSysInfo>

#include "platform/os/OsPlatform.h"

namespace {

constexpr int applicationId = 10001;

QString meaningful(const QString &serial) {
  const QString trimmed = serial.trimmed();
  return ClientIdentity::isPlaceholder(trimmed) ? QString() : trimmed;
}

} // namespace

bool ClientIdentity::isPlaceholder(const QString &serial) {
  const QString text = serial.trimmed();
  if (text.isEmpty())
    return true;
  for (const char *placeholder : {"To be filled by O.E.M.", "Default string", "None"}) {
    if (text.compare(QLatin1String(placeholder), Qt::CaseInsensitive) == 0)
      return true;
  }
  // "0", "00000000", "XXXXXXXX" and the like.
  return text.count(text.front()) == text.size();
}

QString ClientIdentity::sourceText(const QString &diskSerial, const QString &boardSerial,
                                   const QString &adapterAddress, const QString &hostName) {
  if (diskSerial.isEmpty() && boardSerial.isEmpty() && adapterAddress.isEmpty())
    return QStringLiteral("%1_%2").arg(applicationId).arg(hostName);
  return QStringLiteral("%1_%2_%3_%4")
      .arg(QString::number(applicationId), diskSerial, boardSerial, adapterAddress);
}

QString ClientIdentity::digest(const QString &sourceText) {
  const QByteArray hash = QCryptographicHash::hash(sourceText.toUtf8(), QCryptographicHash::Md5);
  return QString::fromLatin1(hash.toHex())
      .toUpper()
      .left(16)
      .replace(QLatin1Char('0'), QLatin1Char('X'));
}

QString ClientIdentity::fromFacts(const IdentitySources &sources, const QString &hostName) {
  return digest(sourceText(meaningful(sources.systemDiskSerial()),
                           meaningful(sources.boardSerial()), sources.adapterAddress().trimmed(),
                           hostName));
}

const QString &ClientIdentity::current() {
  static const QString id = fromFacts(*OsPlatform::identitySources(), QSysInfo::machineHostName());
  return id;
}

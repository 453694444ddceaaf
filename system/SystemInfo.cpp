#include "system/SystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <chrono>

#include "base/log/Log.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/PackageOwner.h"

namespace {

// Without an application object there are no arguments (and Qt would warn).
QStringList applicationArguments() {
  return QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
}

} // namespace

SystemInfo::SystemInfo() : SystemInfo(OsPlatform::systemInfo()) {}

SystemInfo::SystemInfo(std::shared_ptr<SystemApi> system,
                       std::shared_ptr<Connectivity> connectivity)
    : system_(std::move(system)),
      connectivity_(connectivity ? std::move(connectivity) : OsPlatform::connectivity()) {}

bool SystemInfo::is64BitOS() {
  const int architecture = system_->processorArchitecture();
  Log::info("NativeUtil", "si.wProcessorArchitecture={}", architecture);
  return architecture == SystemApi::Amd64 || architecture == SystemApi::Arm64;
}

bool SystemInfo::isWindows7() {
  return system_->verifyVersion(6, 1, 0);
}

bool SystemInfo::isInternetAvailable() {
  return system_->hasDefaultRoute();
}

bool SystemInfo::isNetworkConnected() {
  const bool connected = connectivity_->isOnline();
  Log::info("Network", "check network connection. connected: {}", connected);
  return connected;
}

int SystemInfo::getSecondsSinceEpoch() {
  using namespace std::chrono;
  return int(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

QString SystemInfo::OS() {
  return QSysInfo::prettyProductName();
}

QString SystemInfo::cpuArchitecture() {
  return QSysInfo::currentCpuArchitecture();
}

QString SystemInfo::kernelType() {
  return QSysInfo::kernelType();
}

QString SystemInfo::kernelVersion() {
  return QSysInfo::kernelVersion();
}

QString SystemInfo::language() {
  QString language = QLocale::system().uiLanguages().value(0);
  // The C and POSIX locales name no language; pages need a tag they can use.
  if (language.isEmpty() || language == QLatin1String("C") || language == QLatin1String("POSIX"))
    language = QStringLiteral("en-US");
  Log::info("LANG", "detected lang: {}", language.toStdString());
  const QStringList arguments = applicationArguments();
  if (arguments.isEmpty())
    return language;
  static const QRegularExpression override(QStringLiteral("LANG=([a-zA-Z]{2}\\-[a-zA-Z]{2})"));
  const QRegularExpressionMatch match = override.match(arguments.first());
  if (match.hasMatch()) {
    language = match.captured(1);
    Log::info("LANG", "debug param lang: {}", language.toStdString());
  }
  return language;
}

QString SystemInfo::getCommandLine() {
  return system_->commandLine();
}

QString SystemInfo::arguments() {
  return applicationArguments().join(QLatin1Char(' '));
}

QString SystemInfo::processFolder() {
  const QString path = QDir::toNativeSeparators(system_->programFile());
  const int separator = path.lastIndexOf(QDir::separator());
  return separator < 0 ? path : path.left(separator);
}

QString SystemInfo::installedPackage() {
  // Packages install below /usr and /opt: a copy elsewhere is the user's own.
  const QString program = system_->programFile();
  if (!program.startsWith(QLatin1String("/usr/")) && !program.startsWith(QLatin1String("/opt/")))
    return QString();
  return PackageOwner::of(program);
}

QString SystemInfo::getTempPath() {
  return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

QString SystemInfo::appDataPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString SystemInfo::programsPath() {
  return QString::fromUtf8(qgetenv("PROGRAMFILES"));
}

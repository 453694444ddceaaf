#include "host/log/Log.h"

#include <mutex>

#include <QDir>
#include <QStandardPaths>

#include <spdlog/sinks/daily_file_sink.h>

#include "host/catalogue/Constants.h"

namespace Log {
namespace {

QString moduleBaseName() {
  return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
}

std::shared_ptr<spdlog::logger> createLogger() {
  const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString folder = QStringLiteral("%1/%2/logs").arg(dataFolder, Constants::applicationName());
  const QString file = QStringLiteral("%1/%2-%3.log").arg(folder, Constants::applicationName(),
                                                          QStringLiteral("%Y-%m-%d"));
  if (!QDir(folder).exists() && !QDir(folder).mkpath(QStringLiteral(".")))
    return nullptr;
  try {
    auto sink = std::make_shared<spdlog::sinks::daily_file_format_sink_mt>(
        file.toStdString(), 0, 0, false, 30);
    auto logger = std::make_shared<spdlog::logger>(Constants::applicationName().toStdString(), sink);
    logger->set_level(spdlog::level::trace);
    logger->set_pattern(
        QStringLiteral("[%Y-%m-%d %H:%M:%S.%e %4oms][%1][P%6P][T%6t]%-300v [%@ %!]")
            .arg(moduleBaseName())
            .toStdString(),
        spdlog::pattern_time_type::local);
    logger->flush_on(spdlog::level::trace);
    return logger;
  } catch (const spdlog::spdlog_ex &) {
    return nullptr;
  }
}

} // namespace

std::shared_ptr<spdlog::logger> logger() {
  static std::once_flag once;
  static std::shared_ptr<spdlog::logger> instance;
  std::call_once(once, [] { instance = createLogger(); });
  return instance;
}

void write(const std::string &message) {
  if (auto l = logger())
    l->info(message);
}

void script(const std::string &tag, const std::string &message) {
  write(fmt::format("[{:>12}] {}", tag, message));
}

} // namespace Log

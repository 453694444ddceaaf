#include "base/log/Log.h"

#include <mutex>

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <spdlog/sinks/daily_file_sink.h>
#include <sys/stat.h>

#include "base/catalogue/Constants.h"
#include "base/files/PrivateFiles.h"
#include "base/log/LogSetup.h"

namespace Log {
namespace {

const char datePattern[] = "%Y-%m-%d";

// Expands the date pattern at the end of the file name and nothing else, so
// that "%" or braces in the folder's path cannot break the name.
struct DailyFileName {
  static spdlog::filename_t calc_filename(const spdlog::filename_t &pattern, const std::tm &t) {
    const size_t at = pattern.rfind(datePattern);
    if (at == spdlog::filename_t::npos)
      return pattern;
    const std::string date =
        fmt::format("{:04d}-{:02d}-{:02d}", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return spdlog::filename_t(pattern).replace(at, sizeof datePattern - 1, date);
  }
};

using DailySink = spdlog::sinks::daily_file_sink<std::mutex, DailyFileName>;

constexpr int rotationHour = 0;
constexpr int rotationMinute = 0;
constexpr bool truncateFile = false;
constexpr uint16_t filesKept = 30;

} // namespace

// Logs are state: $XDG_STATE_HOME (an absolute path, else ~/.local/state),
// never the data folder that holds the default install folder, so starting
// the installer creates no install folder and the uninstaller keeps its log.
QString defaultFolder() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || QDir::isRelativePath(state))
    state = QDir::homePath() + QStringLiteral("/.local/state");
  return QStringLiteral("%1/%2/logs").arg(state, Constants::applicationName());
}

QString moduleBaseName() {
  return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
}

std::shared_ptr<spdlog::logger> createLogger(const QString &folder, const QString &moduleName) {
  const QString file = QStringLiteral("%1/%2-%3.log")
                           .arg(folder, Constants::applicationName(), QLatin1String(datePattern));
  if (!PrivateFiles::makeFolder(folder))
    return nullptr;
  // Logs of older versions were readable by everyone.
  const QDir logs(folder);
  for (const QString &name : logs.entryList(
           {Constants::applicationName() + QStringLiteral("-*.log")}, QDir::Files | QDir::Hidden))
    PrivateFiles::tighten(logs.filePath(name));
  // Each day's file is the owner's only from the moment it is opened.
  spdlog::file_event_handlers handlers;
  handlers.after_open = [](const spdlog::filename_t &, std::FILE *stream) {
    fchmod(fileno(stream), S_IRUSR | S_IWUSR);
  };
  try {
    auto sink = std::make_shared<DailySink>(file.toStdString(), rotationHour, rotationMinute,
                                            truncateFile, filesKept, handlers);
    auto logger = std::make_shared<spdlog::logger>(Constants::applicationName().toStdString(),
                                                   std::move(sink));
    logger->set_level(spdlog::level::trace);
    // A "%" in the program's name must stay text in the pattern.
    QString name = moduleName;
    name.replace(QLatin1Char('%'), QLatin1String("%%"));
    logger->set_pattern(QStringLiteral("[%Y-%m-%d %H:%M:%S.%e %4oms][%1][P%6P][T%6t]%-300v [%@ %!]")
                            .arg(name)
                            .toStdString(),
                        spdlog::pattern_time_type::local);
    logger->flush_on(spdlog::level::trace);
    return logger;
  } catch (const std::exception &) {
    return nullptr;
  }
}

std::shared_ptr<spdlog::logger> logger() {
  static std::once_flag once;
  static std::shared_ptr<spdlog::logger> instance;
  std::call_once(once, [] { instance = createLogger(defaultFolder(), moduleBaseName()); });
  return instance;
}

void write(const std::string &message) {
  if (auto l = logger())
    l->info(message);
}

void script(const std::string &tag, const std::string &message) {
  write(fmt::format("[{:>12}] {}", tag, message));
}

int scriptLine(const QString &message, const QString &tag) {
  qDebug() << "[" << tag << "]: \t" << message;
  script(tag.toLocal8Bit().toStdString(), message.toLocal8Bit().toStdString());
  return 0;
}

} // namespace Log

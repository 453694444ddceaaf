#pragma once
// How the process log is set up; Log::logger() uses these with the user's
// log folder, tests with folders of their own.
#include <memory>

#include <QString>

#include <spdlog/logger.h>

namespace Log {

// $XDG_STATE_HOME (else ~/.local/state) + "/Tidewell/logs".
QString defaultFolder();

// The file name of the running program, from /proc/self/exe.
QString moduleBaseName();

// A logger "Tidewell" on Tidewell-YYYY-MM-DD.log files in folder (created
// with its parents when missing), rotating at local midnight, keeping 30
// files, appending to the day's file. Null when folder or file cannot be
// opened. A line's time (spdlog::logger::log with a time point) decides
// its day, which lets tests cross midnight.
std::shared_ptr<spdlog::logger> createLogger(const QString &folder, const QString &moduleName);

} // namespace Log

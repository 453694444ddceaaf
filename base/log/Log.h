#pragma once
// The process-wide log: one spdlog logger "Tidewell" writing a daily file.
//
// Native lines carry a tag right-aligned in 24 columns; call
//   Log::info("NativeUtil", "copy {} to {}", from, to);
// and never spell the "[{:>24}] " prefix yourself.
#include <memory>
#include <string>

#include <QString>

#include <fmt/format.h>
#include <spdlog/logger.h>

namespace Log {

// The logger, created on first use (thread-safe). Null when the log folder
// or file cannot be opened: the program then runs without a log.
std::shared_ptr<spdlog::logger> logger();

// Writes one pre-formatted message at info level.
void write(const std::string &message);

template <typename... Args>
void info(const char *tag, fmt::format_string<Args...> format, Args &&...args) {
  write(fmt::format("[{:>24}] ", tag) + fmt::format(format, std::forward<Args>(args)...));
}

// A script line: "[{:>12}] {}" with the tag and the message (both already
// in the locale's encoding).
void script(const std::string &tag, const std::string &message);

// What a page's log(message, tag) does: the line on Qt's debug output, then
// a script line in the locale's encoding. Always returns 0.
int scriptLine(const QString &message, const QString &tag);

} // namespace Log

#pragma once
// Reads back what the process's log gained since a point, line by line, so
// tests can compare each line's message field byte for byte.
#include <string>
#include <vector>

class LogLines {
public:
  // Marks the log's current end.
  LogLines();

  // The message field (everything after the thread field) of each line
  // written since the mark; a line of another shape yields "<malformed>".
  std::vector<std::string> messages() const;

  // The message field of a native line: the tag right-aligned in 24 columns,
  // the text, filled to 64 bytes, then the empty source location.
  static std::string native(const std::string &tag, const std::string &text);

private:
  long long start_ = 0;
};

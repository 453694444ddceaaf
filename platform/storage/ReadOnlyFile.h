#pragma once
// A file opened for plain sequential reading, closed when the object goes.
#include <QString>

class ReadOnlyFile {
public:
  explicit ReadOnlyFile(const QString &path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile &) = delete;
  ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

  bool isOpen() const { return handle_ >= 0; }
  // Bytes read into buffer; 0 at the end, -1 on an error.
  qint64 read(char *buffer, qint64 size);

private:
  int handle_;
};

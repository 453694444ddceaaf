#pragma once
// Copies one file so that nothing is lost when the copy fails: the content
// goes into a temporary file beside the destination, which replaces the
// destination in one rename only once the whole copy succeeded.
//
// Refused: a source and destination that are the same file (by device and
// inode, however spelled); a source that is not a regular file (a link is
// recreated as the same link when copyLinks is set); a destination that is
// not a regular file or a link (a folder, FIFO, socket or device is never
// replaced), or, when a regular file is copied, a link to one of those. A
// link at the destination is replaced itself, never written through.
// Reads never go past the size the source had when it was opened.
#include <QString>

class FileCopy {
public:
  enum class Result {
    Copied,
    SourceMissing,
    SourceNotCopyable, // a folder, FIFO, socket, device (or link without copyLinks)
    SameFile,
    DestinationExists, // and overwrite was not asked for
    DestinationNotReplaceable,
    Failed // reading, writing or the folder of the destination
  };

  bool overwrite = false;
  bool copyLinks = false;

  // Paths in FileName's text form, any length.
  Result copy(const QString &source, const QString &destination);
  // What went wrong with the last copy, for a log line or an error message.
  QString reason() const { return reason_; }
  // Whether something stood at the destination when the last copy began.
  bool destinationExisted() const { return destinationExisted_; }

private:
  Result fail(Result result, const QString &reason);

  QString reason_;
  bool destinationExisted_ = false;
};

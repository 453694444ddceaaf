#pragma once
// The one place that measures, lists and cleans the data-defined cleaners,
// for the application's page and for tidewell-clean alike:
//
// - preview() finds what a cleaner would delete now: every regular file its
//   rules let go below its folders, each hard-linked file once; nothing,
//   with the reason, while its application runs.
// - clean() deletes what a preview listed and nothing else. Each file is
//   found again beneath its folder (through no link, on that folder's mount
//   only) and deleted only while it is still the listed file: the same
//   device, inode, size and modification time. A file that appeared or
//   changed since stays. Folders the rules let go are removed once empty.
// - A system cleaner (a "command" from the table in SystemCleaners.h) lists
//   its items with their keys; cleaning hands exactly those keys back.
#include <QString>

#include <vector>

#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/PrivacyRoots.h"
#include "cleanup/PrivacyTree.h"

struct CleanerFile {
  QString path; // empty unless asked for
  FileId id;
  qint64 size = 0;
  qint64 modifiedSecs = 0;
  QString key; // a system cleaner's item, which names it instead of id
};

struct CleanerPreview {
  QString skipped; // why nothing was looked at: its application runs, its tool is missing
  qint64 bytes = 0;
  std::vector<CleanerFile> files;
  // A system cleaner's: nothing to clean (its tool or folder is missing),
  // why or the tool's own report, and what cleaning runs.
  bool absent = false;
  QString note;
  QString command;
};

struct CleanerOutcome {
  int deleted = 0; // files
  int failed = 0;  // files and folders that were to go and are still there
  int changed = 0; // listed files that changed since, left alone
  qint64 freedBytes = 0;
  QString skipped;
  QString result; // a system cleaner's: see SystemCleanResult
  QString detail;
};

class CleanerRunner {
public:
  // The session's folders as they are now.
  CleanerRunner();

  // found, when given, also sees each file, with a way to build its path:
  // for a caller that keeps only some of the paths.
  CleanerPreview preview(const AppCleaner &cleaner, bool withPaths,
                         const PrivacyTree::FoundFile &found = nullptr);
  CleanerOutcome clean(const AppCleaner &cleaner, const CleanerPreview &preview);

private:
  PrivacyEnvironment environment_;
  PrivacyRoots roots_;
};

#pragma once
// What cleaning a privacy category would delete, for the page to show before
// the user decides: the same category table, folders and temp-file rules the
// cleaner uses, walked with the same walker, so the list holds what the size
// counts.
#include <QString>

class PrivacyPreview {
public:
  static constexpr int listLimit = 300;

  // {"count": N, "list": [{"path": P, "size": S}, ...]}: N regular files
  // (each hard-linked file once), of which the listLimit largest are listed,
  // largest first. type is a privacy category or an application cleaner's
  // id; an unknown one gives an empty list. A system cleaner lists its items
  // (files, runtimes, revisions) and adds "command" (what cleaning runs) and
  // "note" (its tool's own report, or why it is absent).
  QString getPrivacyItemFiles(const QString &type);
};

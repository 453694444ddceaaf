#pragma once
// The privacy categories and the application cleaners: measuring them for the
// page, and cleaning the ones the page names.
#include <QJsonObject>
#include <QString>

#include <functional>

class PrivacyCleaner {
public:
  // {"list": [...]} with every category in table order, each with
  // "description", "name", "path", "size" (the bytes cleaning would free now)
  // and "type", as indented JSON text.
  QString getPrivacyItems();
  // types: a JSON array of type texts. True when everything named was
  // cleaned; false when something stayed (a file that could not be deleted,
  // a cache a running browser holds, a folder swapped for a link). The log
  // line tells per type what was deleted and what was not.
  bool cleanPrivacyItems(const QString &types);

  // {"list": [...]} with every application cleaner in load order, each with
  // "application", "description", "descriptionEn", "id", "name", "nameEn",
  // "safe", "size", "skipped" (why it is left alone now: its application
  // runs; empty when free) and "warning" (empty when none).
  QString getCleaners();
  // ids: a JSON array of cleaner ids; true when everything named was cleaned
  // (a cleaner skipped because its application runs counts as not). A system
  // cleaner removes what its row last showed.
  bool cleanCleaners(const QString &ids);

  // Every category's row as getPrivacyItems gives it, then every cleaner's
  // as getCleaners does (a system cleaner's with "root", "absent" and
  // "note"), each handed to each once measured; each returns false to stop.
  void measureRows(const std::function<bool(const QJsonObject &)> &each);
  // ids: a JSON array of category types and cleaner ids. {"list": [...]}
  // with per id "id", "result" (SystemCleanResult), "removed", "left",
  // "freed" (bytes the item's files no longer take, measured) and "detail".
  QString cleanItems(const QString &ids);
};

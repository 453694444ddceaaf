#pragma once
// The privacy categories and the application cleaners: measuring them for the
// page, and cleaning the ones the page names.
#include <QString>

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
  // (a cleaner skipped because its application runs counts as not).
  bool cleanCleaners(const QString &ids);
};

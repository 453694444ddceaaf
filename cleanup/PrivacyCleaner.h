#pragma once
// The privacy categories of the cleaner: measuring them for the page, and
// cleaning the ones the page names.
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
};

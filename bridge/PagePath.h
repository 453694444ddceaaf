#pragma once
#include <QString>

// A file path a page passes. The kernel ends a path at its first NUL, so one
// holding NUL names another file than it spells: the method table does not
// call the method and gives its failure result (false, 0 or "").
struct PagePath : QString {
  PagePath(const QString &text) : QString(text) {}
};

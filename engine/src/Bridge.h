#pragma once
// Answers one bridge message of a program document: document start, native
// object calls, Window.this, @sys and @env. The reply is a JSON array
// holding one wire value.
#include <QString>

class EnginePage;

class Bridge {
public:
  static QString handle(EnginePage *page, const QString &message);
};

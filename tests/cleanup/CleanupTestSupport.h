#pragma once
// Temporary trees, recording stand-ins for system tools, and small readers
// for the cleanup tests.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

class Tree {
public:
  Tree() { dir_.setAutoRemove(true); }
  QString root() const { return dir_.path(); }
  QString path(const QString &relative) const { return dir_.path() + QLatin1Char('/') + relative; }

  QString write(const QString &relative, const QByteArray &content) const {
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).path());
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    return file;
  }
  QString mkdir(const QString &relative) const {
    QDir().mkpath(path(relative));
    return path(relative);
  }
  // An executable bash script (the stand-ins for system tools; our code
  // itself never starts a shell).
  QString script(const QString &relative, const QByteArray &body) const {
    const QString file = write(relative, "#!/bin/bash\n" + body);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return file;
  }
  QByteArray read(const QString &relative) const {
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

private:
  QTemporaryDir dir_;
};

inline QJsonArray programList(const QString &json) {
  return QJsonDocument::fromJson(json.toUtf8()).object().value("list").toArray();
}

inline QJsonObject programNamed(const QJsonArray &list, const QString &name) {
  for (const QJsonValue &value : list) {
    if (value.toObject().value("name").toString() == name)
      return value.toObject();
  }
  return {};
}

inline int countNamed(const QJsonArray &list, const QString &name) {
  int count = 0;
  for (const QJsonValue &value : list)
    count += value.toObject().value("name").toString() == name;
  return count;
}

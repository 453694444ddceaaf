#pragma once
// A temporary folder that tests fill with files, folders and stand-ins for
// system tools; removed with the object.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

class TempTree {
public:
  TempTree() { dir_.setAutoRemove(true); }
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

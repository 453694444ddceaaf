#pragma once
// A program that records the arguments it was started with, and starting a
// desktop entry the way GLib-based desktops do (gio launch).
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <optional>

class LaunchRecorder {
public:
  // Writes the recording program at path (its folder is made).
  explicit LaunchRecorder(const QString &path)
      : program_(path), record_(QFileInfo(path).dir().filePath(QStringLiteral("record.txt"))) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
      file.write("#!/bin/sh\n"
                 "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$TW_RECORD.part\"\n"
                 "mv \"$TW_RECORD.part\" \"$TW_RECORD\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  const QString &program() const { return program_; }

  static bool gioAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty();
  }

  // Starts the entry with gio and returns the arguments the program got,
  // each as "[argument]"; nothing when GLib refused or nothing ran.
  std::optional<QStringList> launch(const QString &entry, QString *error = nullptr) const {
    QFile::remove(record_);
    QProcess gio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TW_RECORD"), record_);
    gio.setProcessEnvironment(environment);
    gio.setProcessChannelMode(QProcess::MergedChannels);
    gio.start(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
    gio.waitForFinished();
    if (error)
      *error = QString::fromUtf8(gio.readAll());
    if (gio.exitStatus() != QProcess::NormalExit || gio.exitCode() != 0)
      return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(record_) && clock.elapsed() < 10000)
      QThread::msleep(20);
    QFile file(record_);
    if (!file.open(QIODevice::ReadOnly))
      return std::nullopt;
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

private:
  QString program_;
  QString record_;
};

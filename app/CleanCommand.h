#pragma once
// tidewell-clean: the data-defined cleaners from a command line, for
// scripts and for machines without a display. The same CleanerRunner the
// application's page uses measures, lists and cleans.
#include <QStringList>
#include <QTextStream>

class CleanCommand {
public:
  enum Exit {
    Done = 0,          // everything asked for was done
    SomethingLeft = 1, // a file could not go, changed since the preview, or its application runs
    UsageError = 2,
    UnknownId = 3,
  };

  CleanCommand(QTextStream &out, QTextStream &err) : out_(out), err_(err) {}
  // arguments without the program name.
  Exit run(const QStringList &arguments);

private:
  Exit list();
  Exit measure(const QStringList &ids);
  Exit preview(const QStringList &ids);
  Exit clean(const QStringList &ids, const QString &fromFile);
  void help();

  QTextStream &out_;
  QTextStream &err_;
  bool json_ = false;
};

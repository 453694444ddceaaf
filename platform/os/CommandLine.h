#pragma once
// Splitting a one-string command line into its arguments.
#include <QString>
#include <QStringList>

namespace CommandLine {

// Words separated by white space; double quotes group, and three in a row
// stand for one literal quote (as QProcess::splitCommand). Unlike it, a
// quoted empty word ("") is kept as an empty argument.
QStringList split(const QString &command);

} // namespace CommandLine

#pragma once
// The one place where external commands are started: a program and its
// arguments as a list (never through a shell), a time limit after which the
// command is killed, and its output decoded from the locale's encoding.
#include <QString>
#include <QStringList>

struct CommandResult {
  bool started = false;
  bool finished = false; // ended on its own within the time limit
  bool crashed = false;  // ended by a signal
  int exitCode = -1;     // meaningful when finished and not crashed
  QString output;        // standard output
  QString errorOutput;   // standard error

  bool succeeded() const { return finished && !crashed && exitCode == 0; }
};

namespace CommandRunner {

constexpr int noTimeLimit = -1;

// Runs program with arguments and waits for it at most timeoutMs
// milliseconds (noTimeLimit: until it ends); a command still running then is
// killed. Standard input reads inputFile, or nothing without one.
CommandResult run(const QString &program, const QStringList &arguments, int timeoutMs,
                  const QString &inputFile = QString());

// Starts program detached, without waiting for it, with descriptors 0 to 2
// only and none of the engine's variables; an empty workingFolder keeps ours.
// False when the program cannot be found or run or the folder entered.
bool startDetached(const QString &program, const QStringList &arguments,
                   const QString &workingFolder = QString());

} // namespace CommandRunner

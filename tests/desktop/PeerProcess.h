#pragma once
// Runs bridge-peer as another program of the product and reads its answers.
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>
#include <memory>

class PeerProcess {
public:
  // Starts the peer and waits for its first answer.
  explicit PeerProcess(const QStringList &arguments) {
    process.setProgram(QStringLiteral(TW_BRIDGE_PEER));
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    if (process.waitForStarted(10000))
      while (!process.canReadLine() && process.waitForReadyRead(10000)) {
      }
    answer = QJsonDocument::fromJson(process.readLine()).array();
  }
  ~PeerProcess() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(10000);
    }
  }

  const QJsonArray &result() const { return answer; }
  qint64 pid() const { return process.processId(); }
  // Lets a holding peer end normally.
  bool finish() {
    process.write("\n");
    process.closeWriteChannel();
    return process.waitForFinished(10000) && process.exitCode() == 0;
  }
  void kill() {
    process.kill();
    process.waitForFinished(10000);
  }

  // One peer run to its end: its answer.
  static QJsonArray run(const QStringList &arguments) {
    PeerProcess peer(arguments);
    peer.finish();
    return peer.result();
  }

private:
  QProcess process;
  QJsonArray answer;
};

// brandconfig-generator TEMPLATE OUTPUT NAME=VALUE...
// Writes TEMPLATE to OUTPUT with every "{NAME}" replaced by its VALUE. A
// placeholder left without a value is an error, and no output is written.
#include <cstdio>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

int fail(const QString &message) {
  std::fprintf(stderr, "brandconfig-generator: %s\n", qPrintable(message));
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: brandconfig-generator TEMPLATE OUTPUT NAME=VALUE...\n");
    return 2;
  }
  const QString templatePath = QString::fromLocal8Bit(argv[1]);
  const QString outputPath = QString::fromLocal8Bit(argv[2]);
  QFile in(templatePath);
  if (!in.open(QIODevice::ReadOnly))
    return fail(
        QStringLiteral("cannot read template (%1): %2").arg(in.errorString(), templatePath));
  QString text = QString::fromUtf8(in.readAll());

  QHash<QString, QString> values;
  for (int i = 3; i < argc; ++i) {
    const QString assignment = QString::fromLocal8Bit(argv[i]);
    const int eq = assignment.indexOf(QLatin1Char('='));
    if (eq <= 0)
      return fail(QStringLiteral("expected NAME=VALUE: %1").arg(assignment));
    values.insert(assignment.left(eq), assignment.mid(eq + 1));
  }

  // One pass, so a value is never scanned for placeholders itself.
  QString result;
  int done = 0;
  const QRegularExpression placeholder(QStringLiteral("\\{([A-Z][A-Z0-9_]*)\\}"));
  for (auto it = placeholder.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    const auto value = values.constFind(m.captured(1));
    if (value == values.constEnd())
      return fail(
          QStringLiteral("no value for placeholder %1 in %2").arg(m.captured(), templatePath));
    result += text.mid(done, m.capturedStart() - done) + *value;
    done = m.capturedEnd();
  }
  result += text.mid(done);

  QSaveFile out(outputPath);
  const QByteArray bytes = result.toUtf8();
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
    return fail(QStringLiteral("cannot write (%1): %2").arg(out.errorString(), outputPath));
  return 0;
}

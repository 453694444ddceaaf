#include "disk/FileRecord.h"

#include <QDateTime>
#include <QJsonDocument>

#include <atomic>
#include <mutex>

#include <time.h>

QString FileRecord::name() const {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {

// Changes whenever the zone is read again, so per-thread texts are dropped.
std::atomic<int> zoneGeneration{0};

// Times between the epoch and the end of 2037 go through the C library with
// the zone read once; Qt converts those outside that range by rules of its
// own (no daylight time before 1970), so they stay with Qt.
constexpr qint64 lastDirectSecs = 2145916799;

// Held wherever the C library's zone state is rebuilt: by tzset, and by Qt,
// which re-reads the zone for every conversion.
std::mutex &zoneState() {
  static std::mutex mutex;
  return mutex;
}

void appendDigits(QChar *&out, int value, int digits) {
  for (int i = digits - 1; i >= 0; --i, value /= 10)
    out[i] = QLatin1Char(char('0' + value % 10));
  out += digits;
}

QString formatted(qint64 secs) {
  static std::once_flag firstRead;
  std::call_once(firstRead, [] {
    std::lock_guard<std::mutex> lock(zoneState());
    ::tzset();
  });
  const time_t time = time_t(secs);
  struct tm local;
  if (secs < 0 || secs > lastDirectSecs || !::localtime_r(&time, &local)) {
    std::lock_guard<std::mutex> lock(zoneState());
    return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime)
        .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
  }
  QString text(16, Qt::Uninitialized);
  QChar *out = text.data();
  appendDigits(out, local.tm_year + 1900, 4);
  *out++ = QLatin1Char('-');
  appendDigits(out, local.tm_mon + 1, 2);
  *out++ = QLatin1Char('-');
  appendDigits(out, local.tm_mday, 2);
  *out++ = QLatin1Char(' ');
  appendDigits(out, local.tm_hour, 2);
  *out++ = QLatin1Char(':');
  appendDigits(out, local.tm_min, 2);
  return text;
}

} // namespace

void FileRecord::resolveTimeZone() {
  std::lock_guard<std::mutex> lock(zoneState());
  ::tzset();
  zoneGeneration.fetch_add(1);
}

QString FileRecord::modifiedTime() const {
  // Files of one folder mostly share their minute: the last one converted
  // is kept per thread.
  thread_local qint64 lastMinute = -1;
  thread_local int lastGeneration = -1;
  thread_local QString lastText;
  const qint64 minute = modifiedSecs >= 0 ? modifiedSecs / 60 : (modifiedSecs - 59) / 60;
  const int generation = zoneGeneration.load();
  if (minute == lastMinute && generation == lastGeneration)
    return lastText;
  lastText = formatted(modifiedSecs);
  lastMinute = minute;
  lastGeneration = generation;
  return lastText;
}

QJsonObject FileRecord::toJson() const {
  return QJsonObject{{QStringLiteral("modifiedTime"), modifiedTime()},
                     {QStringLiteral("name"), name()},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("size"), double(size)}};
}

namespace {

// Writes text as a JSON string; false when it holds a character whose
// escaped form is QJsonDocument's own (a control character, a surrogate).
bool appendString(QString &out, const QString &text) {
  out += QLatin1Char('"');
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.isSurrogate())
      return false;
    if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
      out += QLatin1Char('\\');
    out += c;
  }
  out += QLatin1Char('"');
  return true;
}

} // namespace

// Sizes go through JSON as doubles; QJsonDocument writes an integer with many
// trailing zeros in exponent form, and one beyond 2^53 rounded.
QString FileRecord::numberText(qint64 value) {
  constexpr qint64 exact = qint64(1) << 53;
  if (value >= 0 && value < exact && (value == 0 || value % 10000 != 0))
    return QString::number(value);
  const QByteArray document =
      QJsonDocument(QJsonObject{{QStringLiteral("n"), double(value)}}).toJson();
  const int start = document.indexOf(':') + 2;
  return QString::fromLatin1(document.mid(start, document.indexOf('\n', start) - start));
}

void FileRecord::appendJson(QString &out, int indent) const {
  const int start = out.size();
  const QString name = this->name();
  const QLatin1String spaces("                                ", indent);
  out += spaces;
  out += QLatin1String("{\n");
  out += spaces;
  out += QLatin1String("    \"modifiedTime\": ");
  bool direct = appendString(out, modifiedTime());
  out += QLatin1String(",\n");
  out += spaces;
  out += QLatin1String("    \"name\": ");
  direct = direct && appendString(out, name);
  out += QLatin1String(",\n");
  out += spaces;
  out += QLatin1String("    \"path\": ");
  direct = direct && appendString(out, path);
  if (direct) {
    out += QLatin1String(",\n");
    out += spaces;
    out += QLatin1String("    \"size\": ");
    out += numberText(size);
    out += QLatin1Char('\n');
    out += spaces;
    out += QLatin1Char('}');
    return;
  }
  out.truncate(start);
  QString text = QString::fromUtf8(QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
  text.chop(1); // the final line break
  text.replace(QLatin1Char('\n'), QLatin1Char('\n') + spaces);
  out += spaces;
  out += text;
}

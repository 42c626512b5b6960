#include "data/DateValue.h"

#include <cmath>

namespace Dates {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
qint64 daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const qint64 era = (y >= 0 ? y : y - 399) / 400;
  const qint64 yoe = y - era * 400;
  const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, Stamp& s) {
  z += 719468;
  const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
  const qint64 doe = z - era * 146097;
  const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const qint64 mp = (5 * doy + 2) / 153;
  s.day = int(doy - (153 * mp + 2) / 5 + 1);
  s.month = int(mp < 10 ? mp + 3 : mp - 9);
  s.year = int(yoe + era * 400 + (s.month <= 2));
}

const qint64 AccessEpoch = daysFromCivil(1899, 12, 30);

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : days[m - 1];
}

// Reads exactly n digits at text[at]; -1 when they are not all digits.
int digits(QStringView text, qsizetype at, int n) {
  if (at + n > text.size()) return -1;
  int v = 0;
  for (int i = 0; i < n; ++i) {
    const char16_t c = text[at + i].unicode();
    if (c < u'0' || c > u'9') return -1;
    v = v * 10 + (c - u'0');
  }
  return v;
}

void put(QChar*& out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = QChar(u'0' + value % 10);
    value /= 10;
  }
  out += width;
}

}  // namespace

std::optional<Stamp> parse(QStringView text) {
  Stamp s;
  s.year = digits(text, 0, 4);
  s.month = digits(text, 5, 2);
  s.day = digits(text, 8, 2);
  if (s.year < 0 || s.month < 1 || s.month > 12 || s.day < 1 || text[4] != u'-' || text[7] != u'-' ||
      s.day > daysInMonth(s.year, s.month))
    return std::nullopt;
  if (text.size() == 10) return s;
  if (text.size() < 16 || (text[10] != u' ' && text[10] != u'T') || text[13] != u':') return std::nullopt;
  s.hour = digits(text, 11, 2);
  s.minute = digits(text, 14, 2);
  if (s.hour < 0 || s.hour > 23 || s.minute < 0 || s.minute > 59) return std::nullopt;
  if (text.size() == 16) return s;
  if (text.size() < 19 || text[16] != u':') return std::nullopt;
  s.second = digits(text, 17, 2);
  if (s.second < 0 || s.second > 59) return std::nullopt;
  if (text.size() == 19) return s;
  if (text.size() != 23 || text[19] != u'.') return std::nullopt;
  s.msec = digits(text, 20, 3);
  if (s.msec < 0) return std::nullopt;
  return s;
}

QString text(const Stamp& s) {
  QString out(19, Qt::Uninitialized);
  QChar* p = out.data();
  put(p, s.year, 4);
  *p++ = u'-';
  put(p, s.month, 2);
  *p++ = u'-';
  put(p, s.day, 2);
  *p++ = u' ';
  put(p, s.hour, 2);
  *p++ = u':';
  put(p, s.minute, 2);
  *p++ = u':';
  put(p, s.second, 2);
  return out;
}

double toAccess(const Stamp& s) {
  const qint64 days = daysFromCivil(s.year, s.month, s.day) - AccessEpoch;
  const double fraction = ((s.hour * 60 + s.minute) * 60 + s.second + s.msec / 1000.0) / 86400.0;
  return days < 0 ? double(days) - fraction : double(days) + fraction;
}

std::optional<Stamp> fromAccess(double accessDate) {
  if (!std::isfinite(accessDate) || accessDate < -657434.0 || accessDate >= 2958466.0) return std::nullopt;
  const double whole = std::trunc(accessDate);
  qint64 days = qint64(whole);
  qint64 seconds = std::llround(std::fabs(accessDate - whole) * 86400.0);
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  Stamp s;
  civilFromDays(AccessEpoch + days, s);
  s.hour = int(seconds / 3600);
  s.minute = int(seconds / 60 % 60);
  s.second = int(seconds % 60);
  return s;
}

}  // namespace Dates

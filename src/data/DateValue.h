#pragma once
#include <QString>
#include <QStringView>

#include <optional>

// Date/Time values as the databases and exchange files carry them, converted
// by arithmetic alone. Going through QDateTime costs a look at the local time
// zone for every value, which is most of the time a bulk copy spends on dates;
// the values here have no zone anyway.
namespace Dates {

struct Stamp {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int msec = 0;
};

// "yyyy-MM-dd", or with " HH:mm", " HH:mm:ss" or " HH:mm:ss.zzz" after it
// ('T' instead of the space too). Empty for anything else, impossible days
// and times included.
std::optional<Stamp> parse(QStringView text);
// "yyyy-MM-dd HH:mm:ss", the form SQLite keeps dates in (milliseconds dropped).
QString text(const Stamp& s);

// Days since 1899-12-30 (Access's day 0) with the time of day as the
// fraction; before that day the time of day still counts forward.
double toAccess(const Stamp& s);
// The reverse, to the second; empty when the number is no date Access can
// hold (100-01-01 to 9999-12-31 23:59:59).
std::optional<Stamp> fromAccess(double accessDate);

}  // namespace Dates

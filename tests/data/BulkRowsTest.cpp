#include <gtest/gtest.h>

#include <QDateTime>

#include "data/CDataAccess.h"
#include "data/DateValue.h"
#include "data/RowPipeline.h"
#include "support/TestEnv.h"

namespace {

// The arithmetic agrees with QDateTime on what a text means and with Access
// on the day numbers; impossible days and times are refused.
TEST(Dates, TextAndAccessNumbersAgreeWithTheCalendar) {
  const struct {
    const char* text;
    const char* stored;  // "" when the text is refused
  } rows[] = {
      {"2024-02-29 23:59:59", "2024-02-29 23:59:59"},
      {"1899-12-30", "1899-12-30 00:00:00"},
      {"1899-12-29T18:00:00", "1899-12-29 18:00:00"},
      {"1700-03-01 06:30", "1700-03-01 06:30:00"},
      {"0100-01-01 00:00:00", "0100-01-01 00:00:00"},
      {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
      {"2023-02-29", ""},
      {"1900-02-29", ""},
      {"2024-13-01", ""},
      {"2024-01-01 24:00:00", ""},
      {"2024-01-01 12:00:00Z", ""},
      {"20240101", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const std::optional<Dates::Stamp> stamp = Dates::parse(QString::fromLatin1(row.text));
    ASSERT_EQ(stamp.has_value(), *row.stored != 0);
    if (!stamp) continue;
    const QDateTime expected = QDateTime::fromString(QString::fromLatin1(row.stored), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const double days = QDate(1899, 12, 30).daysTo(expected.date());
    const double fraction = expected.time().msecsSinceStartOfDay() / 86400000.0;
    EXPECT_DOUBLE_EQ(Dates::toAccess(*stamp), days < 0 ? days - fraction : days + fraction);
    const std::optional<Dates::Stamp> back = Dates::fromAccess(Dates::toAccess(*stamp));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(Dates::text(*back), QString::fromLatin1(row.stored));
  }
  EXPECT_FALSE(Dates::fromAccess(2958466.0).has_value());
  EXPECT_FALSE(Dates::fromAccess(-657435.0).has_value());
}

// Rows written in bulk read back unchanged with the keys the writer handed
// out, whether they fit one statement or need many, and the next key the
// database generates follows the last one used.
TEST(BulkRows, WrittenRowsKeepTheirValuesAndKeysAndTheNextKeyFollows) {
  for (const int count : {1, 250, 2600}) {
    SCOPED_TRACE(count);
    TestEnv env;
    const std::unique_ptr<CDataAccess> dal = env.dal();
    dal->BeginTrans();
    std::vector<qint32> keys;
    {
      Bulk::Writer writer(*dal->connection(), QStringLiteral("Problem"),
                          {QStringLiteral("ProblemCode"), QStringLiteral("Body"), QStringLiteral("Score"),
                           QStringLiteral("Lastupdated")},
                          QStringLiteral("ProblemID"));
      for (int i = 0; i < count; ++i)
        keys.push_back(writer.add({Bulk::Cell::text(QStringLiteral("题%1").arg(i)),
                                   i % 2 ? Bulk::Cell() : Bulk::Cell::text(QStringLiteral("正文 'x'\n%1").arg(i)),
                                   Bulk::Cell{Bulk::Cell::Kind::Real, 0, i + 0.5, {}},
                                   Bulk::Cell::text(QStringLiteral("2024-09-01 08:%1:00").arg(i % 60, 2, 10, QChar('0')))}));
      writer.flush();
    }
    dal->CommitTrans();
    for (size_t i = 1; i < keys.size(); ++i) ASSERT_GT(keys[i], keys[i - 1]);
    Bulk::Reader reader(*dal->connection(),
                        QStringLiteral("select ProblemID, ProblemCode, Body, Score, Lastupdated from Problem order by "
                                       "ProblemID"));
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(reader.next());
      EXPECT_EQ(reader.at(0).toInt(), keys[size_t(i)]);
      EXPECT_EQ(reader.at(1).toString(), QStringLiteral("题%1").arg(i));
      EXPECT_EQ(reader.at(2).isNull(), i % 2 == 1);
      if (i % 2 == 0) {
        EXPECT_EQ(reader.at(2).toString(), QStringLiteral("正文 'x'\n%1").arg(i));
      }
      EXPECT_DOUBLE_EQ(reader.at(3).toVariant().toDouble(), i + 0.5);
      EXPECT_TRUE(reader.at(4).toString().startsWith(QStringLiteral("2024-09-01 08:%1").arg(i % 60, 2, 10, QChar('0'))));
    }
    EXPECT_FALSE(reader.next());
    dal->ExecQuery(QString(), QStringLiteral("insert into Problem (ProblemCode) values ('next')"));
    EXPECT_EQ(env.scalar(QStringLiteral("select ProblemID from Problem where ProblemCode='next'")).toInt(), keys.back() + 1);
  }
}

}  // namespace

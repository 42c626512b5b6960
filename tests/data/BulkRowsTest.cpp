#include <gtest/gtest.h>

#include "data/CDataAccess.h"
#include "data/RowPipeline.h"
#include "support/TestEnv.h"

namespace {

// Rows written in bulk read back unchanged with the keys the writer handed
// out, whether they fit one statement or need many, and the next key the
// database generates follows the last one used.
TEST(BulkRows, WrittenRowsKeepTheirValuesAndKeysAndTheNextKeyFollows) {
  for (const int count : {1, 250, 2600}) {
    SCOPED_TRACE(count);
    const TestEnv env;
    const std::unique_ptr<CDataAccess> dal = env.dal();
    const auto code = [](int i) { return QStringLiteral("题%1").arg(i); };
    const auto body = [](int i) { return QStringLiteral("正文 'x'\n%1").arg(i); };
    const auto stamp = [](int i) { return QStringLiteral("2024-09-01 08:%1:00").arg(i % 60, 2, 10, QChar('0')); };
    dal->BeginTrans();
    std::vector<qint32> keys;
    {
      Bulk::Writer writer(*dal->connection(), "Problem", {"ProblemCode", "Body", "Score", "Lastupdated"}, "ProblemID");
      for (int i = 0; i < count; ++i)
        keys.push_back(writer.add({Bulk::Cell::text(code(i)), i % 2 ? Bulk::Cell() : Bulk::Cell::text(body(i)),
                                   Bulk::Cell{Bulk::Cell::Kind::Real, 0, i + 0.5, {}}, Bulk::Cell::text(stamp(i))}));
      writer.flush();
    }
    dal->CommitTrans();
    Bulk::Reader reader(*dal->connection(), "select ProblemID, ProblemCode, Body, Score, Lastupdated from Problem order by ProblemID");
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(reader.next());
      EXPECT_EQ(reader.at(0).toInt(), keys[size_t(i)]);
      EXPECT_EQ(reader.at(1).toString(), code(i));
      EXPECT_EQ(reader.at(2).isNull() ? QString("NULL") : reader.at(2).toString(), i % 2 ? "NULL" : body(i));
      EXPECT_DOUBLE_EQ(reader.at(3).toVariant().toDouble(), i + 0.5);
      EXPECT_TRUE(reader.at(4).toString().startsWith(stamp(i).left(16)));
    }
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()) && std::adjacent_find(keys.begin(), keys.end()) == keys.end());
    env.exec("insert into Problem (ProblemCode) values ('next')");
    EXPECT_EQ(env.scalar("select ProblemID from Problem where ProblemCode='next'").toInt(), keys.back() + 1);
  }
}

}  // namespace

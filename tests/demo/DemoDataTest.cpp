#include <gtest/gtest.h>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "login/LoginCheck.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

namespace {

// The demo users log in as described; jiaowu holds the right only through a group's role.
TEST(DemoData, UsersLogInAsDescribed) {
  TestEnv env;
  DemoData::create(*env.dal(), 0);
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  using LoginCheck::Outcome;
  for (const auto& [user, password, outcome] : {std::tuple{"admin", "admin", Outcome::Success},
                                                {"teacher", "teacher", Outcome::NoRight},
                                                {"jiaowu", "jiaowu", Outcome::Success},
                                                {"管理员", "密码", Outcome::Success},
                                                {"admin", "teacher", Outcome::WrongPassword}})
    EXPECT_EQ(LoginCheck::login(QString::fromUtf8(user), QString::fromUtf8(password)), outcome) << user;
}

TEST(DemoData, AFailureLeavesTheDatabaseAsItWas) {
  TestEnv env;
  env.exec(QStringLiteral("drop table AnswerSheet"));
  auto dal = env.dal();
  EXPECT_THROW(DemoData::create(*dal, 10), DataError);
  EXPECT_FALSE(dal->IsInTransaction());
  EXPECT_EQ(env.scalar(QStringLiteral("select count(*) from Subject")).toInt(), 0);
}

}  // namespace

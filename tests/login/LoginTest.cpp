#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "core/MD5bas.h"
#include "data/CDataAccess.h"
#include "login/LoginCheck.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/frmCorvina.h"
#include "ui/frmLogin.h"

namespace {
using LoginCheck::Outcome;

const QString kIllegal = "用户名和密码中包含有非法字符，请重新输入!";
const QString kWrong = "您输入的用户名和密码有误，请重新输入！";
const QString kNoRight = "您没有导入课程的权限，请和系统管理员联系!";

// A system database whose users hold the import right in every way it can be
// held, and some that do not hold it.
struct LoginDb {
  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};

  LoginDb() {
    for (const char* pair : {"1, 35", "2, 10", "3, 35"})
      env.exec(QString("insert into RolesRights (roleid, rightid) values (%1)").arg(pair));
    env.exec("insert into grouprole (groupid, roleid) values (7, 3)");
    env.exec("insert into UsersRights (userid, rightid) values (999, 35)");  // nobody's
    env.exec(QString("insert into userrole (userid, roleid) values (%1, 1)").arg(addUser("admin", "admin")));
    env.exec(QString("insert into groupuser (groupid, userid) values (7, %1)").arg(addUser("jiaowu", "jiaowu")));
    env.exec(QString("insert into userrole (userid, roleid) values (%1, 2)").arg(addUser("teacher", "teacher")));
    for (const char* direct : {"dean", "twin", "twin", "管理员"})
      env.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)")
                   .arg(addUser(direct, direct == QString("管理员") ? "密码" : direct)));
  }
  int addUser(const QString& name, const QString& password) {
    auto dal = env.dal();
    Bulk::Writer users = dal->InsertInto("userinfo", {"Name", "password"}, "userid", Bulk::ReadBack::AtOnce);
    return users.add({Bulk::Cell::text(name), Bulk::Cell::text(MD5(name + ':' + password, 32))});
  }
};

// Each refusal shows its message (the missing right without the program's title).
TEST(Login, OutcomesAndMessages) {
  const struct {
    const char *name, *password;
    Outcome outcome;
    QString message;
  } rows[] = {
      {"admin", "admin", Outcome::Success, {}},    // the right through a role
      {"jiaowu", "jiaowu", Outcome::Success, {}},  // through a group's role
      {"dean", "dean", Outcome::Success, {}},      // held directly
      {"管理员", "密码", Outcome::Success, {}},
      {"admin", "Admin", Outcome::WrongPassword, kWrong},
      {"nobody", "admin", Outcome::WrongPassword, kWrong},
      {"", "", Outcome::WrongPassword, kWrong},
      {"admin ", "admin", Outcome::WrongPassword, kWrong},  // blanks count
      {"twin", "twin", Outcome::WrongPassword, kWrong},     // not unique
      {"admin\" or \"1\"=\"1", "x", Outcome::WrongPassword, kWrong},
      {"teacher", "teacher", Outcome::NoRight, kNoRight},
      {"o'brien", "x", Outcome::IllegalInput, kIllegal},
      {"admin", "admin' or '1'='1", Outcome::IllegalInput, kIllegal},
  };
  LoginDb db;
  for (const auto& row : rows) {
    db.ui->shown.clear();
    EXPECT_EQ(LoginCheck::login(row.name, row.password), row.outcome) << row.name;
    EXPECT_EQ(db.ui->prompts(), row.message.isEmpty() ? QStringList() : QStringList{row.message}) << row.name;
    for (const auto& shown : db.ui->shown) {
      EXPECT_EQ(shown.title, row.message == kNoRight ? QString() : Res::str(Res::AppTitle)) << row.name;
      EXPECT_EQ(shown.style, MessageStyle{MessageKind::Warning}) << row.name;
    }
  }
}

// A database that cannot be reached or queried is reported, never a crash,
// and changed settings apply to the next attempt. An apostrophe is refused
// before any query is sent.
TEST(Login, DatabaseFailuresAreReported) {
  LoginDb db;
  const QString good = db.env.systemConnect();
  db.env.useSystemDb("Driver=SQLite3;Database=" + db.env.path("missing.db"));
  EXPECT_EQ(LoginCheck::login("o'brien", "x"), Outcome::IllegalInput);
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Failed);
  ASSERT_EQ(db.ui->shown.size(), 2u);
  EXPECT_TRUE(db.ui->shown[1].prompt.contains("missing.db") && db.ui->shown[1].style.kind == MessageKind::Error);
  db.env.useSystemDb(good);
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Success);
  db.env.exec("drop table grouprole");
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Failed);
  EXPECT_TRUE(db.ui->lastPrompt().contains("grouprole", Qt::CaseInsensitive)) << db.ui->lastPrompt().toStdString();
}

// A failed attempt keeps the typed name and clears the password that failed;
// a successful one closes the login and opens the main window.
TEST(LoginWindow, AFailedAttemptAndASuccess) {
  static int argc = 1;
  static char arg0[] = "test_login";
  static char* argv[] = {arg0, nullptr};
  if (!qApp) new QApplication(argc, argv);
  const auto mainWindows = [] {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<frmCorvina*>(w) && w->isVisible()) found << w;
    return found;
  };
  LoginDb db;
  frmLogin login;
  login.show();
  auto* name = login.findChild<QLineEdit*>("inputName");
  auto* password = login.findChild<QLineEdit*>("inputPWD");
  ASSERT_TRUE(name && password);
  name->setText("admin");
  password->setText("wrong");
  EXPECT_EQ(password->displayText(), "*****");
  login.findChild<QPushButton*>("cmdOk")->click();
  EXPECT_EQ(db.ui->prompts(), QStringList{kWrong});
  EXPECT_TRUE(login.isVisible() && mainWindows().isEmpty());
  EXPECT_EQ(name->text() + '|' + password->text(), "admin|");
  password->setText("admin");
  login.findChild<QPushButton*>("cmdOk")->click();
  EXPECT_TRUE(login.result() == QDialog::Accepted && !login.isVisible());
  ASSERT_EQ(mainWindows().size(), 1);
  mainWindows().front()->close();  // deletes itself
  QApplication::processEvents();
}

// Digests the login sends: the standard MD5 for ASCII; a double-byte character
// contributes its GBK code as a negative 16-bit value widened into its word, as
// the system's other programs stored their digests. 56 characters: two blocks.
TEST(MD5, Digests) {
  const struct {
    const char* text;
    int digits;
    const char* digest;
  } rows[] = {
      {"", 32, "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", 32, "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", 32, "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890", 32,
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Other digit counts give words B and C only.
      {"abc", 16, "3cd24fb0d6963f7d"},
      {"abc", 0, "3cd24fb0d6963f7d"},
      {"管理员:密码", 32, "5c583e575ab1b118f3f7a1fed238eaaf"},
      {"管", 32, "2d834c939da2215b03188bfbcbb88e9a"},
      {"a管", 32, "7c123765a1eb8d719b8d298a0448a374"},
      {"ab管", 32, "8bc3590e7bc89929aa8078cb850e699d"},
      {"abc管", 32, "8dbe7039a5928eadedc8041691a574dd"},
      {"张三:123456", 32, "921f7b943788b3251533b1a971f78039"},
      {"（全角）:x", 32, "f918425b3a5b3d793635d6dfc635d74b"},
      {"teacher:密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密密", 32,
       "2f499f7346e192894e1d253921106408"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(MD5(QString::fromUtf8(row.text), row.digits), QLatin1String(row.digest)) << row.text;
}

}  // namespace

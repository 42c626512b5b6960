#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "data/CDataAccess.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "login/LoginCheck.h"
#include "core/MD5bas.h"
#include "ui/frmCorvina.h"
#include "ui/frmLogin.h"

namespace {
using LoginCheck::Outcome;

const QString kIllegal = "用户名和密码中包含有非法字符，请重新输入!";
const QString kWrong = "您输入的用户名和密码有误，请重新输入！";
const QString kNoRight = "您没有导入课程的权限，请和系统管理员联系!";

// Users and rights of a small system database.
struct LoginDb {
  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};

  int addUser(const QString& name, const QString& password) {
    auto dal = env.dal();
    RecordsetPtr rs;
    dal->GetConnectedRecordset("select * from userinfo where 1=0", rs);
    rs->AddNew();
    rs->SetValue("Name", name);
    rs->SetValue("password", MD5(name + ':' + password, 32));
    rs->Update();
    return rs->Value(0).toInt();
  }
  void exec(const QString& sql) { env.exec(sql); }
};

TEST(Login, AnApostropheIsRefusedBeforeAnyQuery) {
  LoginDb db;
  // No query may be sent: a database that cannot be opened would say so.
  db.env.useSystemDb("Driver=SQLite3;Database=" + db.env.path("missing.db"));
  EXPECT_EQ(LoginCheck::login("o'brien", "x"), Outcome::IllegalInput);
  EXPECT_EQ(LoginCheck::login("admin", "pass'word"), Outcome::IllegalInput);
  ASSERT_EQ(db.ui->shown.size(), 2u);
  EXPECT_EQ(db.ui->shown[0].prompt, kIllegal);
  EXPECT_EQ(db.ui->shown[0].flags, Vb::OKOnly | Vb::Exclamation);
  EXPECT_EQ(db.ui->shown[0].title, Res::str(Res::AppTitle));
}

TEST(Login, CheckInputAcceptsEverythingButTheApostrophe) {
  EXPECT_TRUE(LoginCheck::CheckInput(""));
  EXPECT_TRUE(LoginCheck::CheckInput(" a b \"; -- 管理员"));
  EXPECT_FALSE(LoginCheck::CheckInput("'"));
}

TEST(Login, WrongPasswordOrUnknownUserIsRefused) {
  LoginDb db;
  const int admin = db.addUser("admin", "admin");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(admin));
  EXPECT_EQ(LoginCheck::login("admin", "Admin"), Outcome::WrongPassword);
  EXPECT_EQ(LoginCheck::login("nobody", "admin"), Outcome::WrongPassword);
  EXPECT_EQ(LoginCheck::login("", ""), Outcome::WrongPassword);
  // Blanks are part of the name and of the digest.
  EXPECT_EQ(LoginCheck::login("admin ", "admin"), Outcome::WrongPassword);
  EXPECT_EQ(db.ui->prompts(), QStringList(4, kWrong));
  EXPECT_EQ(db.ui->shown[0].title, Res::str(Res::AppTitle));
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Success);
  EXPECT_EQ(db.ui->shown.size(), 4u);
}

TEST(Login, TwoUsersWithTheSameNameAndDigestAreRefused) {
  LoginDb db;
  const int a = db.addUser("twin", "pw");
  const int b = db.addUser("twin", "pw");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(a));
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(b));
  EXPECT_FALSE(LoginCheck::CheckPassword("twin", "pw"));
  EXPECT_EQ(LoginCheck::login("twin", "pw"), Outcome::WrongPassword);
  EXPECT_EQ(db.ui->lastPrompt(), kWrong);
}

TEST(Login, TheRightMayComeThroughARoleAGroupsRoleOrDirectly) {
  LoginDb db;
  const int viaRole = db.addUser("admin", "admin");
  const int viaGroup = db.addUser("jiaowu", "jiaowu");
  const int direct = db.addUser("dean", "dean");
  const int both = db.addUser("both", "both");
  db.addUser("teacher", "teacher");
  db.exec("insert into RolesRights (roleid, rightid) values (1, 35)");
  db.exec("insert into RolesRights (roleid, rightid) values (2, 10)");
  db.exec("insert into RolesRights (roleid, rightid) values (3, 35)");
  db.exec(QString("insert into userrole (userid, roleid) values (%1, 1)").arg(viaRole));
  db.exec("insert into grouprole (groupid, roleid) values (7, 3)");
  db.exec(QString("insert into groupuser (groupid, userid) values (7, %1)").arg(viaGroup));
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(direct));
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(both));
  db.exec(QString("insert into userrole (userid, roleid) values (%1, 1)").arg(both));

  EXPECT_TRUE(LoginCheck::CheckRight("admin", 35));
  EXPECT_TRUE(LoginCheck::CheckRight("jiaowu", 35));
  EXPECT_TRUE(LoginCheck::CheckRight("dean", 35));
  EXPECT_TRUE(LoginCheck::CheckRight("both", 35));
  EXPECT_FALSE(LoginCheck::CheckRight("teacher", 35));
  EXPECT_FALSE(LoginCheck::CheckRight("admin", 10));

  for (const char* name : {"admin", "jiaowu", "dean", "both"})
    EXPECT_EQ(LoginCheck::login(name, name), Outcome::Success) << name;
  EXPECT_TRUE(db.ui->shown.empty());
}

TEST(Login, AMissingRightIsRefusedWithTheApplicationTitle) {
  LoginDb db;
  const int teacher = db.addUser("teacher", "teacher");
  db.exec("insert into RolesRights (roleid, rightid) values (2, 10)");
  db.exec(QString("insert into userrole (userid, roleid) values (%1, 2)").arg(teacher));
  // A right of another user or of a role the teacher lacks does not count.
  db.exec("insert into RolesRights (roleid, rightid) values (1, 35)");
  db.exec("insert into UsersRights (userid, rightid) values (999, 35)");
  EXPECT_EQ(LoginCheck::login("teacher", "teacher"), Outcome::NoRight);
  ASSERT_EQ(db.ui->shown.size(), 1u);
  EXPECT_EQ(db.ui->shown[0].prompt, kNoRight);
  EXPECT_EQ(db.ui->shown[0].flags, Vb::OKOnly | Vb::Exclamation);
  EXPECT_EQ(db.ui->shown[0].title, "");
}

TEST(Login, NamesAreBoundNotPastedIntoTheStatement) {
  LoginDb db;
  const int admin = db.addUser("admin", "admin");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(admin));
  // Without an apostrophe nothing can break out; with one the check refuses first.
  EXPECT_EQ(LoginCheck::login("admin\" or \"1\"=\"1", "x"), Outcome::WrongPassword);
  EXPECT_FALSE(LoginCheck::CheckRight("x' or '1'='1", 35));
  EXPECT_FALSE(LoginCheck::CheckPassword("admin' --", "x"));
}

TEST(Login, ChineseNamesMatchDigestsMadeByTheDoubleByteRule) {
  LoginDb db;
  const int user = db.addUser("管理员", "密码");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(user));
  EXPECT_EQ(db.env.scalar(QString("select password from userinfo where userid=%1").arg(user)).toString(),
            "5c583e575ab1b118f3f7a1fed238eaaf");
  EXPECT_EQ(LoginCheck::login("管理员", "密码"), Outcome::Success);
}

TEST(Login, AnUnreachableDatabaseIsReportedAndNothingCrashes) {
  LoginDb db;
  db.env.useSystemDb("Driver=SQLite3;Database=" + db.env.path("missing.db"));
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Failed);
  ASSERT_EQ(db.ui->shown.size(), 1u);
  EXPECT_TRUE(db.ui->shown[0].prompt.contains("missing.db"));
  EXPECT_EQ(db.ui->shown[0].title, Res::str(Res::AppTitle));
  EXPECT_EQ(db.ui->shown[0].flags & Vb::IconMask, Vb::Critical);
}

TEST(Login, AFailingStatementIsReported) {
  LoginDb db;
  db.addUser("admin", "admin");
  db.exec("drop table grouprole");
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Failed);
  ASSERT_EQ(db.ui->shown.size(), 1u);
  EXPECT_TRUE(db.ui->shown[0].prompt.contains("grouprole", Qt::CaseInsensitive)) << db.ui->shown[0].prompt.toStdString();
}

TEST(Login, ChangedSettingsApplyToTheNextAttempt) {
  LoginDb db;
  db.env.useSystemDb("Driver=SQLite3;Database=" + db.env.path("missing.db"));
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Failed);
  const QString other = TestEnv::createSystemDb(db.env.path("other.db"));
  db.env.useSystemDb(other);
  const int admin = db.addUser("admin", "admin");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(admin));
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Success);
}

// ---- the window ----

int argc = 1;
char arg0[] = "test_login";
char* argv[] = {arg0, nullptr};

QApplication& app() {
  static QApplication* instance = qApp ? qobject_cast<QApplication*>(qApp) : new QApplication(argc, argv);
  return *instance;
}

QList<frmCorvina*> mainWindows() {
  QList<frmCorvina*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<frmCorvina*>(w)) found << m;
  return found;
}

TEST(LoginWindow, HasItsCaptionsAndAFailedAttemptKeepsTheTypedText) {
  app();
  LoginDb db;
  frmLogin login;
  login.show();
  EXPECT_EQ(login.windowTitle(), "登录");
  auto* name = login.findChild<QLineEdit*>("inputName");
  auto* password = login.findChild<QLineEdit*>("inputPWD");
  ASSERT_TRUE(name && password);
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(login.findChild<QPushButton*>("cmdOk")->text(), "确定(&O)");
  EXPECT_EQ(login.findChild<QPushButton*>("cmdCancel")->text(), "取消(&C)");
  EXPECT_EQ(login.findChild<QPushButton*>("Command1")->text(), "连接设置");
  name->setText("admin");
  password->setText("wrong");
  EXPECT_EQ(password->displayText(), "*****");
  login.findChild<QPushButton*>("cmdOk")->click();
  EXPECT_EQ(db.ui->lastPrompt(), kWrong);
  EXPECT_TRUE(login.isVisible());
  EXPECT_EQ(name->text(), "admin");
  EXPECT_EQ(password->text(), "wrong");
  EXPECT_TRUE(mainWindows().isEmpty());
}

TEST(LoginWindow, ASuccessfulLoginClosesItAndOpensTheMainWindow) {
  app();
  LoginDb db;
  const int admin = db.addUser("admin", "admin");
  db.exec(QString("insert into UsersRights (userid, rightid) values (%1, 35)").arg(admin));
  frmLogin login;
  bool loggedIn = false;
  QObject::connect(&login, &frmLogin::loggedIn, [&] { loggedIn = true; });
  login.show();
  login.findChild<QLineEdit*>("inputName")->setText("admin");
  login.findChild<QLineEdit*>("inputPWD")->setText("admin");
  login.findChild<QPushButton*>("cmdOk")->click();
  EXPECT_TRUE(loggedIn);
  EXPECT_FALSE(login.isVisible());
  EXPECT_EQ(login.result(), QDialog::Accepted);
  const auto windows = mainWindows();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_TRUE(windows.front()->isVisible());
  windows.front()->close();  // deletes itself
  QApplication::processEvents();
}

TEST(LoginWindow, ConnectionSettingsOpenModallyAndTheLoginStaysOpen) {
  app();
  LoginDb db;
  frmLogin login;
  login.show();
  QString shownModal;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      shownModal = modal->objectName();
      modal->close();
    }
  });
  login.findChild<QPushButton*>("Command1")->click();
  EXPECT_EQ(shownModal, "frmSysOdbcIni");
  EXPECT_TRUE(login.isVisible());
  EXPECT_TRUE(mainWindows().isEmpty());
}

TEST(LoginWindow, CancelClosesWithoutLoggingIn) {
  app();
  LoginDb db;
  frmLogin login;
  login.show();
  login.findChild<QPushButton*>("cmdCancel")->click();
  EXPECT_FALSE(login.isVisible());
  EXPECT_EQ(login.result(), QDialog::Rejected);
  EXPECT_TRUE(db.ui->shown.empty());
}

}  // namespace

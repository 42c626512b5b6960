#include "login/LoginCheck.h"

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "resources/Strings.h"
#include "core/MD5bas.h"

namespace LoginCheck {
namespace {
void refuse(const QString& message, const QString& title) {
  interaction().MsgBox(message, {MessageKind::Warning}, title);
}
}  // namespace

bool CheckInput(const QString& text) { return !text.contains('\''); }

bool CheckPassword(const QString& strName, const QString& strPassword) {
  const QString digest = MD5(strName + ':' + strPassword, 32);
  CDataAccess dal;
  Bulk::Query users =
      dal.OpenQuery(QStringLiteral("select * from userinfo where Name=? and  password=?"), QVariantList{strName, digest});
  // Two users with the same name and digest are as good as none.
  return users.next() && !users.next();
}

bool CheckRight(const QString& strName, long nRight) {
  CDataAccess dal;
  return !dal.OpenQuery(Sql::userRightQuery(dal.dialect(), nRight), QVariantList{strName}).empty();
}

Outcome login(const QString& strName, const QString& strPassword) {
  if (!CheckInput(strName) || !CheckInput(strPassword)) {
    refuse(QStringLiteral("用户名和密码中包含有非法字符，请重新输入!"), Res::str(Res::AppTitle));
    return Outcome::IllegalInput;
  }
  try {
    if (!CheckPassword(strName, strPassword)) {
      refuse(QStringLiteral("您输入的用户名和密码有误，请重新输入！"), Res::str(Res::AppTitle));
      return Outcome::WrongPassword;
    }
    if (!CheckRight(strName, ImportCourseRight)) {
      refuse(QStringLiteral("您没有导入课程的权限，请和系统管理员联系!"), QString());
      return Outcome::NoRight;
    }
  } catch (const DataError& e) {
    // A database that cannot be reached must not end the program: say why and
    // let the user repair the settings.
    interaction().MsgBox(e.description(), {MessageKind::Error}, Res::str(Res::AppTitle));
    return Outcome::Failed;
  } catch (const std::exception& e) {
    interaction().MsgBox(QString::fromUtf8(e.what()), {MessageKind::Error}, Res::str(Res::AppTitle));
    return Outcome::Failed;
  }
  return Outcome::Success;
}

}  // namespace LoginCheck

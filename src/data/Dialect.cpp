#include "data/Dialect.h"

#include <QStringList>

namespace Sql {

QString userRightQuery(Dialect d, long rightId) {
  const QString rolesOfUser = QStringLiteral(
      "select distinct ui.Userid,rr.rightid from userinfo ui,RolesRights rr "
      " where rr.roleid in (select roleid from userrole ur where ur.userid=ui.userid union select roleid "
      "from grouprole gr inner join groupuser gu on gr.groupid=gu.groupid where gu.userid=ui.userid))");
  // SQLite rejects a parenthesised SELECT before UNION; the same union unbracketed.
  const QString view = d == Dialect::SQLite
                           ? QStringLiteral("(") + rolesOfUser.chopped(1) +
                                 QStringLiteral(" union select userid,rightid from UsersRights ) as user_right_view")
                           : QStringLiteral("((") + rolesOfUser +
                                 QStringLiteral(" union select userid,rightid from UsersRights ) as user_right_view");
  return QStringLiteral("select u.userid,u.Name from ") + view +
         QStringLiteral(",userinfo u where user_right_view.userid=u.userid and rightid=") +
         QString::number(rightId) + QStringLiteral(" and u.name=?");
}

QString equalsIgnoringCase(Dialect d, const QString& column) {
  switch (d) {
    case Dialect::SQLite: return column + QStringLiteral("=? COLLATE NOCASE");
    case Dialect::SQLServer: return column + QStringLiteral("=?");
    case Dialect::PostgreSQL:
    case Dialect::Other: break;
  }
  return QStringLiteral("lower(%1)=lower(?)").arg(column);
}

QString dialectName(Dialect d) {
  switch (d) {
    case Dialect::SQLite: return QStringLiteral("SQLite");
    case Dialect::PostgreSQL: return QStringLiteral("PostgreSQL");
    case Dialect::SQLServer: return QStringLiteral("SQL Server");
    case Dialect::Other: break;
  }
  return QStringLiteral("ODBC");
}

QString savepoint(Dialect d, const QString& name) {
  return (d == Dialect::SQLServer ? QStringLiteral("SAVE TRANSACTION ") : QStringLiteral("SAVEPOINT ")) + name;
}

QString rollbackToSavepoint(Dialect d, const QString& name) {
  return (d == Dialect::SQLServer ? QStringLiteral("ROLLBACK TRANSACTION ") : QStringLiteral("ROLLBACK TO SAVEPOINT ")) +
         name;
}

QString releaseSavepoint(Dialect d, const QString& name) {
  return d == Dialect::SQLServer ? QString() : QStringLiteral("RELEASE SAVEPOINT ") + name;
}

}  // namespace Sql

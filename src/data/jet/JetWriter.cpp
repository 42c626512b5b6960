#include "data/jet/JetWriter.h"

#include "data/DataError.h"

namespace Jet {

void writeBack(const QString&, const QString& destination, QSqlDatabase) {
  throw DataError(DataError::GenericNumber, QStringLiteral("Microsoft JET Database Engine"),
                  QStringLiteral("Access files cannot be written yet: '%1'.").arg(destination));
}

QString unwritableReason(const QString&) { return QStringLiteral("Access files cannot be written yet."); }

}  // namespace Jet

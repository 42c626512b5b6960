#include "data/jet/JetExchange.h"

#include "data/Connection.h"
#include "data/DataError.h"

namespace Jet {

bool isJetFile(const QByteArray& head) {
  return head.size() >= 0x15 && head.mid(4, 15) == QByteArrayLiteral("Standard Jet DB");
}

std::shared_ptr<Connection> openExchange(const QString&, const QString& path) {
  throw DataError(DataError::GenericNumber, QStringLiteral("Microsoft JET Database Engine"),
                  QStringLiteral("Access files are not readable yet: '%1'.").arg(path));
}

}  // namespace Jet

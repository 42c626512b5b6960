#pragma once
#include <QByteArray>
#include <QString>

#include <memory>

class Connection;

// Access (Jet 4) exchange files.
namespace Jet {
// True when the first bytes are those of a Jet database header.
bool isJetFile(const QByteArray& head);
// Opens a Jet exchange file as a connection; throws DataError.
std::shared_ptr<Connection> openExchange(const QString& connectString, const QString& path);
}  // namespace Jet

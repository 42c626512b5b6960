#pragma once
#include <QString>

// The stored connection settings of the system database: "odbc.ini" in the
// program folder when it exists, else the registry stand-in file.
namespace ConnectionSettings {
inline const QString Key = QStringLiteral("5203916");

// The connection string of the system database. registryString receives the
// string assembled from the registry when that path is taken.
QString connectionString(QString* registryString = nullptr);
}  // namespace ConnectionSettings

#pragma once
#include <QString>

// The stored connection settings of the system database: "odbc.ini" in the
// program folder when it exists, else the registry the examination system's
// applications share. Read afresh for every new data access object.
namespace ConnectionSettings {
// Scrambles the stored user names and passwords.
inline const QString Key = QStringLiteral("5203916");

// GetConnectionString: odbc.ini in the program folder, else the registry.
// Throws DataError (13, type mismatch) for a
// registry flag that is neither a Boolean word nor a number.
QString connectionString();

// The string built from odbc.ini at iniFile.
QString iniConnectionString(const QString& iniFile);
// GetRegistryConnectionString.
QString registryConnectionString();

// "Driver={SQL Server};Server=...;Database=...;Uid=...;Pwd=...;" as the
// registry and the settings dialog build it (with a final semicolon).
QString sqlServerString(const QString& server, const QString& database, const QString& user,
                        const QString& password);

// "Driver=SQLite3;Database=FILE": a SQLite file as the system database.
QString sqliteString(const QString& file);

// A registry flag converted as the original did: "True"/"False" in any case,
// or a number (0 is False). Anything else raises a type mismatch.
bool toBoolean(const QString& text);
}  // namespace ConnectionSettings

#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

#include "data/Dialect.h"

class CDataAccess;

// One vocabulary of tables for the system database and the exchange files.
// Column order matters: the import copies from fixed positions.
namespace Schema {

enum class ColumnType { Id, Int, Small, Real, Text, Memo, Date };

struct Column {
  QString name;
  ColumnType type;
  int size = 0;  // characters, for Text
};

struct Table {
  QString name;
  QVector<Column> columns;
  bool courseTable;  // one of the fifteen tables an exchange file carries
};

const QVector<Table>& tables();
const Table* find(const QString& name);  // case-insensitive
QStringList courseTableNames();          // the fifteen, in schema order

// CREATE TABLE and CREATE INDEX statements of the system database.
QStringList systemDdl(Dialect d);
// CREATE TABLE statements of a SQLite-format exchange file (no identity, no index).
QStringList exchangeDdl();

// Creates every table of the system database on the connection dal holds.
void createSystemTables(CDataAccess& dal);
// Writes a SQLite-format exchange-file template at path (replacing it).
void writeSqliteTemplate(const QString& path);

}  // namespace Schema

#pragma once
#include <QString>
#include <QStringList>

#include <vector>

#include "data/RowPipeline.h"

class Connection;

namespace Bulk {

// Sets columns in the rows of table whose keyColumn holds each row's key.
// Every row is the key followed by the values of columns, in that order.
// The rows travel through a Writer into a temporary table (each value
// converted to the column's type as an insert converts it) and one UPDATE
// joins it to the table: a handful of statements however many rows change.
void updateRows(Connection& conn, const QString& table, const QString& keyColumn, const QStringList& columns,
                const std::vector<Row>& rows);

// Deletes the rows of table whose keyColumn holds one of keys, a thousand
// keys per statement; condition, when given, narrows every statement.
void deleteKeys(Connection& conn, const QString& table, const QString& keyColumn, const std::vector<qint32>& keys,
                const QString& condition = {});

}  // namespace Bulk

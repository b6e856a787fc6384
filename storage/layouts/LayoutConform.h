#pragma once

#include <QString>

#include "storage/engine/FieldDefs.h"

class StoreConnection;

// A stored table brought to a layout: what it lacks of the layout's keys, indexes and field
// declarations, and the statements that make them, on either engine.
namespace LayoutConform {

// A changed primary key or field declaration rebuilds the table, a missing or different index
// is made again. Fields of the layout missing from the table are added; other fields stay
// with their values. A unique index that rows would break is made without uniqueness and
// guarded by triggers (SQLite); the server refuses it.
void Conform(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
             const TIndexDefs& indexes);
// Whether Conform would change nothing.
bool IsConformed(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
                 const TIndexDefs& indexes);

// The field of that name in a layout; throws EDatabaseError when there is none.
const TFieldDef& CurrentField(const TFieldDefs& fields, const QString& name);

// One row per key of the index that several rows share, blanks apart (a blank key is never
// equal), in key order: how many rows share it, then the key's fields as one row holds them.
QString DuplicatesQuery(StoreConnection& connection, const QString& table,
                        const TFieldDefs& fields, const TIndexDef& index);

} // namespace LayoutConform

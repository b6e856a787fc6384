#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "storage/engine/FieldDefs.h"

class StoreConnection;

// Table layouts as the store keeps them: the statements that create a layout, a stored
// table's fields and indexes read without its rows, a table found by name, and the
// rebuild of a table into another layout.
namespace TableSchema {

// An index of a stored table, with what it takes to make it again.
struct StoredIndex
{
    TIndexDef Def;           // named without the table's prefix; a primary key by its fields
    QString StoreName;       // the index's name in the store; empty for a rowid key
    QString Sql;             // its CREATE INDEX statement; empty for a key of the table itself
    std::vector<int> Fields; // positions in StoredLayout::Fields
    std::vector<bool> NoCase;
};

struct StoredLayout
{
    QString Name; // the table's name in the store
    TFieldDefs Fields;
    QStringList Declared;             // each field's declared type, as written
    QStringList Defaults;             // each field's default as an SQL expression, empty for none
    int RowidAlias = -1;              // the field that is the rowid, -1 for none
    std::vector<StoredIndex> Indexes; // the primary key first, then in order of creation

    int FindField(const QString& name) const; // exact name, -1 when missing
    const StoredIndex* Primary() const;
    const StoredIndex* FindIndex(const QString& name) const; // letter case ignored
};

QString Quoted(const QString& identifier);

// A text cut to at most size code points (no cut for size 0), as a write to a text field stores it.
QString CutToSize(const QString& value, int size);

// "base.DB", "base.db" and "base" name one table.
QString BareTableName(const QString& name);

// The store's name of an index of a table: indexes of all tables share one name space.
QString IndexStoreName(const QString& table, const QString& index);

// The field of a layout an index names, letter case ignored; throws when there is none.
const TFieldDef& IndexField(const QString& table, const TFieldDefs& fields, const QString& name);

// The key columns of an index, each with its collation where letter case is ignored.
QString KeyColumns(const QString& table, const TFieldDefs& fields, const TIndexDef& index);

// The column of a field as CREATE TABLE writes it.
QString ColumnDefinition(const TFieldDef& def);

// CREATE TABLE followed by the CREATE INDEX statements of a layout. A primary index
// on the auto-increment field is that field's own key.
QStringList CreateStatements(const QString& table, const TFieldDefs& fields,
                             const TIndexDefs& indexes);
// The CREATE INDEX statements alone; the primary index has none.
QStringList IndexStatements(const QString& table, const TFieldDefs& fields,
                            const TIndexDefs& indexes);

// While rows that share a key keep a unique index away, the index is made without
// uniqueness and two triggers refuse every write that would add another such row, with the
// words SQLite gives for a unique index: their names, and the statements that make them.
inline constexpr const char* UniqueGuardMessage = "UNIQUE constraint failed:";
QStringList UniqueGuardNames(const QString& table, const QString& index);
QStringList UniqueGuardStatements(const QString& table, const TFieldDefs& fields,
                                  const TIndexDef& index);

// The stored name of a table spelled with any letter case and an optional ".db";
// empty when there is none.
QString FindTable(StoreConnection& connection, const QString& name);

// Throws EDatabaseError (TableMissing) when there is no such table.
StoredLayout ReadLayout(StoreConnection& connection, const QString& name);

// The store file of a folder, as the user sees its path.
QString StoreFile(const QString& folder);

// Reads a table (any letter case, an optional ".db") from the folder's store file opened
// read-only, without writing a byte to it, so start-up can refuse a table before it changes
// anything. A missing or unreadable file, or a missing table, reads as none: the ordinary
// open reports those.
std::optional<StoredLayout> ReadLayoutReadOnly(const QString& folder, const QString& name);

// What keeps a view from using the stored table, in words ("нет поля «Org120»"): a field
// missing or of another kind, an index missing; letter case ignored. Empty when nothing does.
QString Lacks(const StoredLayout& layout, const TFieldDefs& fields, const QStringList& indexNames);

// A column of a rebuilt table: how it is declared and what fills it from the old table.
struct RebuiltColumn
{
    QString Name;
    QString Definition; // as in CREATE TABLE, name included
    QString Source;     // an expression over the old table's columns ("rowid", a name, NULL)
    bool Rowid = false; // the column is the new table's rowid
};

// Rebuilds a table into new columns, table constraints and indexes: new table, copy,
// drop, rename, indexes. Rows keep their rowids. All or nothing.
void Rebuild(StoreConnection& connection, const QString& table,
             const std::vector<RebuiltColumn>& columns, const QStringList& constraints,
             const QStringList& indexStatements);

// A stored column as it was declared, optionally without its NOT NULL.
QString StoredColumnDefinition(const StoredLayout& layout, int field, bool keepNotNull = true);

// CREATE statements that make the index again on the same table.
QString StoredIndexStatement(const StoredLayout& layout, const StoredIndex& index);

} // namespace TableSchema

#include "storage/engine/TableSchema.h"

#include <QDir>

#include <algorithm>
#include <cstring>

#include "storage/engine/sqlite/Collation.h"
#include "storage/engine/StoreConnection.h"

namespace TableSchema {

const TFieldDef& IndexField(const QString& table, const TFieldDefs& fields, const QString& name)
{
    for (const TFieldDef& def : fields) {
        if (def.Name.compare(name, Qt::CaseInsensitive) == 0)
            return def;
    }
    throw EDatabaseError(
        QStringLiteral("Поле «%1» индекса таблицы «%2» не определено.").arg(name, table));
}

namespace {

// A primary index that is the auto-increment field's own key needs nothing more.
bool IsRowidKey(const QString& table, const TFieldDefs& fields, const TIndexDef& index)
{
    const QStringList keys = index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return keys.size() == 1 &&
           IndexField(table, fields, keys.front().trimmed()).DataType == TFieldType::AutoInc;
}

} // namespace

QString KeyColumns(const QString& table, const TFieldDefs& fields, const TIndexDef& index)
{
    QStringList columns;
    for (const QString& field : index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const TFieldDef& def = IndexField(table, fields, field.trimmed());
        QString column = Quoted(def.Name);
        if ((index.Options & ixCaseInsensitive) && def.DataType == TFieldType::String)
            column += QLatin1String(" COLLATE ") + QLatin1String(Collation::RuNoCaseName);
        columns << column;
    }
    return columns.join(QLatin1String(", "));
}

int StoredLayout::FindField(const QString& name) const
{
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        if (Fields[i].Name == name)
            return int(i);
    }
    return -1;
}

const StoredIndex* StoredLayout::Primary() const
{
    for (const StoredIndex& index : Indexes) {
        if (index.Def.Options & ixPrimary)
            return &index;
    }
    return nullptr;
}

const StoredIndex* StoredLayout::FindIndex(const QString& name) const
{
    for (const StoredIndex& index : Indexes) {
        if (!(index.Def.Options & ixPrimary) &&
            index.Def.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &index;
    }
    return nullptr;
}

QString Quoted(const QString& identifier)
{
    QString quoted = identifier;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString CutToSize(const QString& value, int size)
{
    if (size <= 0 || value.size() <= size)
        return value;
    qsizetype units = 0;
    for (int points = 0; points < size && units < value.size(); ++points) {
        if (value.at(units).isHighSurrogate() && units + 1 < value.size() &&
            value.at(units + 1).isLowSurrogate())
            units += 2;
        else
            units += 1;
    }
    return value.left(units);
}

QString BareTableName(const QString& name)
{
    QString bare = name.trimmed();
    if (bare.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
        bare.chop(3);
    return bare;
}

QString IndexStoreName(const QString& table, const QString& index)
{
    return table + QLatin1Char('.') + index;
}

QString ColumnDefinition(const TFieldDef& def)
{
    QString column = Quoted(def.Name) + QLatin1Char(' ');
    switch (def.DataType) {
    case TFieldType::String:
        column += def.Size > 0 ? QStringLiteral("CHAR(%1)").arg(def.Size) : QStringLiteral("TEXT");
        break;
    case TFieldType::Boolean:
        column += QLatin1String("BOOLEAN");
        break;
    case TFieldType::Integer:
        column += QLatin1String("INTEGER");
        break;
    case TFieldType::AutoInc:
        column += QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT");
        break;
    case TFieldType::Blob:
        column += QLatin1String("BLOB");
        break;
    }
    if (def.Required)
        column += QLatin1String(" NOT NULL");
    return column;
}

QStringList IndexStatements(const QString& table, const TFieldDefs& fields,
                            const TIndexDefs& indexes)
{
    QStringList statements;
    for (const TIndexDef& index : indexes) {
        if (index.Options & ixPrimary)
            continue;
        statements << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                          .arg((index.Options & ixUnique) ? QStringLiteral("UNIQUE ") : QString(),
                               Quoted(IndexStoreName(table, index.Name)), Quoted(table),
                               KeyColumns(table, fields, index));
    }
    return statements;
}

QStringList UniqueGuardNames(const QString& table, const QString& index)
{
    const QString name = IndexStoreName(table, index);
    return {name + QLatin1String(".insert"), name + QLatin1String(".update")};
}

QStringList UniqueGuardStatements(const QString& table, const TFieldDefs& fields,
                                  const TIndexDef& index)
{
    QStringList same;    // a stored row has the written key
    QStringList changed; // the update changes the key
    QStringList columns;
    QStringList named; // as SQLite names the columns of a refused key
    for (const QString& field : index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const TFieldDef& def = IndexField(table, fields, field.trimmed());
        const QString column = Quoted(def.Name);
        QString collate;
        if ((index.Options & ixCaseInsensitive) && def.DataType == TFieldType::String)
            collate = QLatin1String(" COLLATE ") + QLatin1String(Collation::RuNoCaseName);
        same << column + QLatin1String(" = NEW.") + column + collate;
        changed << QLatin1String("NEW.") + column + QLatin1String(" IS NOT OLD.") + column +
                       collate;
        columns << column;
        named << table + QLatin1Char('.') + def.Name;
    }
    QString message =
        QLatin1String(UniqueGuardMessage) + QLatin1Char(' ') + named.join(QLatin1String(", "));
    message.replace(QLatin1Char('\''), QLatin1String("''"));
    const QString refuse = QStringLiteral("BEGIN SELECT RAISE(ABORT, '%1'); END").arg(message);
    const QString exists = QStringLiteral("EXISTS (SELECT 1 FROM %1 WHERE %2")
                               .arg(Quoted(table), same.join(QLatin1String(" AND ")));
    const QStringList names = UniqueGuardNames(table, index.Name);
    return {QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 BEFORE INSERT ON %2 WHEN %3) %4")
                .arg(Quoted(names[0]), Quoted(table), exists, refuse),
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 BEFORE UPDATE OF %2 ON %3 "
                           "WHEN (%4) AND %5 AND rowid <> OLD.rowid) %6")
                .arg(Quoted(names[1]), columns.join(QLatin1String(", ")), Quoted(table),
                     changed.join(QLatin1String(" OR ")), exists, refuse)};
}

QStringList CreateStatements(const QString& table, const TFieldDefs& fields,
                             const TIndexDefs& indexes)
{
    if (fields.empty())
        throw EDatabaseError(QStringLiteral("Для таблицы «%1» не заданы поля.").arg(table));
    QStringList columns;
    for (const TFieldDef& def : fields)
        columns << ColumnDefinition(def);
    for (const TIndexDef& index : indexes) {
        if ((index.Options & ixPrimary) && !IsRowidKey(table, fields, index))
            columns << QLatin1String("PRIMARY KEY (") + KeyColumns(table, fields, index) +
                           QLatin1Char(')');
    }
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)")
                               .arg(Quoted(table), columns.join(QLatin1String(", ")))};
    statements << IndexStatements(table, fields, indexes);
    return statements;
}

QString FindTable(StoreConnection& connection, const QString& name)
{
    return connection.FindTable(name);
}

StoredLayout ReadLayout(StoreConnection& connection, const QString& name)
{
    const QString stored = FindTable(connection, name);
    if (stored.isEmpty())
        throw EDatabaseError(QStringLiteral("Таблица «%1» не найдена в папке «%2».")
                                 .arg(BareTableName(name), connection.FilePath().chopped(qsizetype(
                                                               strlen(StoreConnection::FileName)))),
                             EDatabaseError::Kind::TableMissing);
    return connection.ReadNamedLayout(stored);
}

QString StoredColumnDefinition(const StoredLayout& layout, int field, bool keepNotNull)
{
    const TFieldDef& def = layout.Fields[std::size_t(field)];
    QString column = Quoted(def.Name);
    const QString& declared = layout.Declared[field];
    if (!declared.isEmpty())
        column += QLatin1Char(' ') + declared;
    if (def.Required && keepNotNull && field != layout.RowidAlias)
        column += QLatin1String(" NOT NULL");
    if (!layout.Defaults[field].isEmpty())
        column += QLatin1String(" DEFAULT ") + layout.Defaults[field];
    return column;
}

QString StoredIndexStatement(const StoredLayout& layout, const StoredIndex& index)
{
    if (!index.Sql.isEmpty())
        return index.Sql;
    // A UNIQUE constraint of the table: the same key as an index of its own.
    QStringList columns;
    QStringList names;
    for (std::size_t i = 0; i < index.Fields.size(); ++i) {
        const QString& name = layout.Fields[std::size_t(index.Fields[i])].Name;
        names << name;
        columns << Quoted(name) + QLatin1String(" COLLATE ") +
                       (index.NoCase[i] ? QLatin1String(Collation::RuNoCaseName)
                                        : QLatin1String("BINARY"));
    }
    const bool unique = index.Def.Options & ixUnique;
    const QString name =
        (unique ? QLatin1String("Unique_") : QLatin1String("Key_")) + names.join(QLatin1Char('_'));
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
        .arg(unique ? QStringLiteral("UNIQUE ") : QString(),
             Quoted(IndexStoreName(layout.Name, name)), Quoted(layout.Name),
             columns.join(QLatin1String(", ")));
}

void Rebuild(StoreConnection& connection, const QString& table,
             const std::vector<RebuiltColumn>& columns, const QStringList& constraints,
             const QStringList& indexStatements)
{
    const QString rebuilt = table + QLatin1String("_rebuilt");
    QStringList definitions;
    QStringList targets;
    QStringList sources;
    bool rowid = false;
    for (const RebuiltColumn& column : columns) {
        definitions << column.Definition;
        targets << Quoted(column.Name);
        sources << column.Source;
        rowid = rowid || column.Rowid;
    }
    if (!rowid) {
        targets.prepend(QStringLiteral("rowid"));
        sources.prepend(QStringLiteral("rowid"));
    }
    definitions << constraints;

    QStringList triggers;
    {
        Statement list(connection,
                       QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'trigger' "
                                      "AND tbl_name = ?1 AND sql IS NOT NULL"));
        list.BindText(1, table);
        while (list.Step())
            triggers << list.Text(0);
    }

    connection.Begin();
    try {
        connection.Exec(QStringLiteral("CREATE TABLE %1 (%2)")
                            .arg(Quoted(rebuilt), definitions.join(QLatin1String(", "))));
        connection.Exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                            .arg(Quoted(rebuilt), targets.join(QLatin1String(", ")),
                                 sources.join(QLatin1String(", ")), Quoted(table)));
        connection.Exec(QStringLiteral("DROP TABLE %1").arg(Quoted(table)));
        // The old name's views and triggers are left as they were written.
        connection.Exec(QStringLiteral("PRAGMA legacy_alter_table=ON"));
        connection.Exec(
            QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(Quoted(rebuilt), Quoted(table)));
        connection.Exec(QStringLiteral("PRAGMA legacy_alter_table=OFF"));
        for (const QString& statement : indexStatements)
            connection.Exec(statement);
        for (const QString& statement : triggers)
            connection.Exec(statement);
        connection.Commit();
    } catch (...) {
        try {
            connection.Exec(QStringLiteral("PRAGMA legacy_alter_table=OFF"));
        } catch (...) {
        }
        try {
            connection.Rollback();
        } catch (...) {
        }
        throw;
    }
}

QString StoreFile(const QString& folder)
{
    QString dir = QDir::fromNativeSeparators(folder);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return QDir::toNativeSeparators(dir + QLatin1String(StoreConnection::FileName));
}

std::optional<StoredLayout> ReadLayoutReadOnly(const QString& folder, const QString& name)
{
    const std::shared_ptr<StoreConnection> connection = StoreConnection::OpenReadOnly(folder);
    if (!connection)
        return std::nullopt;
    try {
        const QString stored = connection->FindTable(name);
        if (stored.isEmpty())
            return std::nullopt;
        return connection->ReadNamedLayout(stored);
    } catch (const EDatabaseError&) {
        return std::nullopt; // unreadable: the ordinary open reports it
    }
}

QString Lacks(const StoredLayout& layout, const TFieldDefs& fields, const QStringList& indexNames)
{
    // Kinds as a view reads them: an auto-increment key is an integer.
    const auto kind = [](TFieldType type) {
        return type == TFieldType::AutoInc ? TFieldType::Integer : type;
    };
    QStringList lacks;
    for (const TFieldDef& wanted : fields) {
        const auto stored =
            std::find_if(layout.Fields.begin(), layout.Fields.end(), [&](const TFieldDef& f) {
                return f.Name.compare(wanted.Name, Qt::CaseInsensitive) == 0;
            });
        if (stored == layout.Fields.end())
            lacks << QStringLiteral("нет поля «%1»").arg(wanted.Name);
        else if (kind(stored->DataType) != kind(wanted.DataType))
            lacks << QStringLiteral("поле «%1» другого типа").arg(wanted.Name);
    }
    for (const QString& index : indexNames) {
        if (!layout.FindIndex(index))
            lacks << QStringLiteral("нет индекса «%1»").arg(index);
    }
    return lacks.join(QStringLiteral(", "));
}

} // namespace TableSchema

#include "storage/views/TQuery.h"

#include <QRegularExpression>

#include <algorithm>

#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"
#include "storage/engine/TableSchema.h"

namespace {

QString Unquoted(QString identifier)
{
    if (identifier.size() >= 2 && identifier.startsWith(QLatin1Char('"')) &&
        identifier.endsWith(QLatin1Char('"')))
        identifier = identifier.mid(1, identifier.size() - 2)
                         .replace(QLatin1String("\"\""), QLatin1String("\""));
    return identifier;
}

// The table whose layout a statement changes; empty for one that changes none. Views see
// changed rows on their next refresh, but none may outlive its table's layout.
QString RelaidTable(const QString& sql)
{
    static const QRegularExpression changing(QStringLiteral("^\\s*(?:ALTER|DROP)\\s+TABLE"
                                                            "\\s+(\"(?:[^\"]|\"\")+\"|[^\\s(]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = changing.match(sql);
    return match.hasMatch() ? Unquoted(match.captured(1)) : QString();
}

// Rebuilds the table without the column: SQLite's own DROP COLUMN refuses a column that
// a key or an index uses. Indexes on the column go with it.
void DropIndexedColumn(StoreConnection& connection, const TableSchema::StoredLayout& stored,
                       int field)
{
    std::vector<TableSchema::RebuiltColumn> columns;
    for (int i = 0; i < int(stored.Fields.size()); ++i) {
        if (i == field)
            continue;
        const TFieldDef& def = stored.Fields[std::size_t(i)];
        QString definition = TableSchema::StoredColumnDefinition(stored, i);
        if (i == stored.RowidAlias)
            definition = TableSchema::Quoted(def.Name) + QLatin1String(" INTEGER PRIMARY KEY") +
                         (def.DataType == TFieldType::AutoInc ? QLatin1String(" AUTOINCREMENT")
                                                              : QLatin1String(""));
        columns.push_back(
            {def.Name, definition, TableSchema::Quoted(def.Name), i == stored.RowidAlias});
    }
    auto uses = [field](const TableSchema::StoredIndex& index) {
        return std::find(index.Fields.begin(), index.Fields.end(), field) != index.Fields.end();
    };
    QStringList constraints;
    QStringList indexes;
    for (const TableSchema::StoredIndex& index : stored.Indexes) {
        if (uses(index) || int(index.Fields.size()) == 0)
            continue;
        if (!(index.Def.Options & ixPrimary)) {
            indexes << TableSchema::StoredIndexStatement(stored, index);
        } else if (stored.RowidAlias < 0) {
            QStringList keys;
            for (std::size_t i = 0; i < index.Fields.size(); ++i)
                keys << TableSchema::Quoted(stored.Fields[std::size_t(index.Fields[i])].Name) +
                            (index.NoCase[i] ? QLatin1String(" COLLATE RU_NOCASE")
                                             : QLatin1String(""));
            constraints << QLatin1String("PRIMARY KEY (") + keys.join(QLatin1String(", ")) +
                               QLatin1Char(')');
        }
    }
    TableSchema::Rebuild(connection, stored.Name, columns, constraints, indexes);
}

// "ALTER TABLE t DROP [COLUMN] c": true when done here.
bool DropColumn(StoreConnection& connection, const QString& sql)
{
    static const QRegularExpression drop(
        QStringLiteral(
            "^\\s*ALTER\\s+TABLE\\s+(\"(?:[^\"]|\"\")+\"|\\S+)\\s+DROP\\s+(?:COLUMN\\s+)?"
            "(\"(?:[^\"]|\"\")+\"|\\S+)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = drop.match(sql);
    if (!match.hasMatch())
        return false;
    const TableSchema::StoredLayout stored =
        TableSchema::ReadLayout(connection, Unquoted(match.captured(1)));
    const QString column = Unquoted(match.captured(2));
    int field = -1;
    for (int i = 0; i < int(stored.Fields.size()) && field < 0; ++i) {
        if (stored.Fields[std::size_t(i)].Name.compare(column, Qt::CaseInsensitive) == 0)
            field = i;
    }
    if (field < 0)
        throw EDatabaseError(
            QStringLiteral("Поле «%1» не найдено в таблице «%2».").arg(column, stored.Name));
    bool indexed = field == stored.RowidAlias;
    for (const TableSchema::StoredIndex& index : stored.Indexes)
        indexed = indexed ||
                  std::find(index.Fields.begin(), index.Fields.end(), field) != index.Fields.end();
    if (indexed) {
        DropIndexedColumn(connection, stored, field);
        return true;
    }
    return false;
}

} // namespace

void TQuery::ExecSQL()
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, true);
    const QString table = RelaidTable(SQL);
    if (!table.isEmpty())
        connection->CloseViews(table);
    if (Params.isEmpty()) {
        if (!connection->RunColumnStatement(SQL) && !DropColumn(*connection, SQL))
            connection->Exec(SQL);
        return;
    }
    Statement statement(*connection, connection->NamesAsStored(SQL));
    for (qsizetype i = 0; i < Params.size(); ++i)
        statement.BindText(int(i) + 1, Params[i]);
    while (statement.Step()) {
    }
}

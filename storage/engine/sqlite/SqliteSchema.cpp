#include "storage/engine/sqlite/SqliteStore.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "storage/engine/sqlite/Collation.h"
#include "storage/engine/TableSchema.h"

using TableSchema::Quoted;
using TableSchema::StoredIndex;
using TableSchema::StoredLayout;

namespace {

TFieldDef ParseColumn(const QString& name, const QString& declared, bool notNull)
{
    TFieldDef def;
    def.Name = name;
    def.Required = notNull;
    const QString type = declared.trimmed().toUpper();
    if (type.startsWith(QLatin1String("BOOL")) || type == QLatin1String("LOGICAL")) {
        def.DataType = TFieldType::Boolean;
    } else if (type == QLatin1String("BLOB")) {
        def.DataType = TFieldType::Blob;
    } else if (type.contains(QLatin1String("INT"))) {
        def.DataType = TFieldType::Integer;
    } else {
        def.DataType = TFieldType::String;
        const qsizetype open = type.indexOf(QLatin1Char('('));
        const qsizetype close = type.indexOf(QLatin1Char(')'));
        if (open > 0 && close > open)
            def.Size = type.mid(open + 1, close - open - 1).trimmed().toInt();
    }
    return def;
}

} // namespace

QString SqliteConnection::FindTable(const QString& name)
{
    Statement statement(*this, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                              "AND name = ?1 COLLATE NOCASE"));
    statement.BindText(1, TableSchema::BareTableName(name));
    if (!statement.Step())
        return {};
    return statement.Text(0);
}

StoredLayout SqliteConnection::ReadNamedLayout(const QString& storedName)
{
    StoredLayout layout;
    layout.Name = storedName;

    bool autoIncrement = false;
    {
        Statement sql(*this, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = ?1"));
        sql.BindText(1, layout.Name);
        if (sql.Step())
            autoIncrement =
                sql.Text(0).contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    }

    std::vector<std::pair<int, int>> primary; // (position in key, field)
    {
        Statement info(*this, QStringLiteral("PRAGMA table_info(%1)").arg(Quoted(layout.Name)));
        while (info.Step()) {
            Statement& s = info;
            const QString declared = s.Text(2);
            layout.Fields.push_back(ParseColumn(s.Text(1), declared, int(s.Int(3)) != 0));
            layout.Declared << declared;
            layout.Defaults << s.Text(4);
            const int pk = int(s.Int(5));
            if (pk > 0)
                primary.emplace_back(pk, int(layout.Fields.size()) - 1);
        }
    }
    std::sort(primary.begin(), primary.end());

    if (primary.size() == 1) {
        TFieldDef& key = layout.Fields[std::size_t(primary.front().second)];
        if (key.DataType == TFieldType::Integer) {
            layout.RowidAlias = primary.front().second;
            key.Required = true;
            if (autoIncrement)
                key.DataType = TFieldType::AutoInc;
            StoredIndex index;
            index.Def = {key.Name, key.Name, ixPrimary | ixUnique};
            index.Fields = {primary.front().second};
            index.NoCase = {false};
            layout.Indexes.push_back(std::move(index));
        }
    }

    struct Listed
    {
        QString name;
        bool unique;
        QString origin;
    };
    std::vector<Listed> listed;
    {
        Statement list(*this, QStringLiteral("PRAGMA index_list(%1)").arg(Quoted(layout.Name)));
        while (list.Step()) {
            Statement& s = list;
            listed.push_back({s.Text(1), int(s.Int(2)) != 0, s.Text(3)});
        }
    }
    // index_list gives the newest first; keep the order of creation.
    std::reverse(listed.begin(), listed.end());
    const QString prefix = layout.Name + QLatin1Char('.');
    for (const Listed& entry : listed) {
        StoredIndex index;
        index.StoreName = entry.name;
        const bool isPrimary = entry.origin == QLatin1String("pk");
        Statement xinfo(*this, QStringLiteral("PRAGMA index_xinfo(%1)").arg(Quoted(entry.name)));
        QStringList names;
        bool noCase = false;
        while (xinfo.Step()) {
            Statement& s = xinfo;
            if (int(s.Int(5)) == 0)
                continue; // the rowid that ends every index entry
            const int cid = int(s.Int(1));
            if (cid < 0 || cid >= int(layout.Fields.size()))
                continue;
            const bool fieldNoCase =
                s.Text(4).compare(QLatin1String(Collation::RuNoCaseName), Qt::CaseInsensitive) == 0;
            index.Fields.push_back(cid);
            index.NoCase.push_back(fieldNoCase);
            noCase = noCase || fieldNoCase;
            names << layout.Fields[std::size_t(cid)].Name;
        }
        if (entry.origin == QLatin1String("c")) {
            Statement sql(*this, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = ?1"));
            sql.BindText(1, entry.name);
            if (sql.Step())
                index.Sql = sql.Text(0);
        }
        const QString fields = names.join(QLatin1Char(';'));
        QString indexName = entry.name;
        if (isPrimary)
            indexName = fields;
        else if (entry.name.startsWith(prefix, Qt::CaseInsensitive))
            indexName = entry.name.mid(prefix.size());
        unsigned options = (isPrimary ? ixPrimary : 0u) | (entry.unique ? ixUnique : 0u) |
                           (noCase ? ixCaseInsensitive : 0u);
        index.Def = {indexName, fields, options};
        if (isPrimary)
            layout.Indexes.insert(layout.Indexes.begin(), std::move(index));
        else
            layout.Indexes.push_back(std::move(index));
    }
    return layout;
}

QStringList SqliteConnection::CreateStatements(const QString& table, const TFieldDefs& fields,
                                               const TIndexDefs& indexes)
{
    return TableSchema::CreateStatements(table, fields, indexes);
}

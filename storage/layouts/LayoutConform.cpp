#include "storage/layouts/LayoutConform.h"

#include <vector>

#include "storage/engine/StoreConnection.h"
#include "storage/engine/TableSchema.h"

using TableSchema::Quoted;

namespace LayoutConform {

const TFieldDef& CurrentField(const TFieldDefs& fields, const QString& name)
{
    for (const TFieldDef& def : fields) {
        if (def.Name == name)
            return def;
    }
    throw EDatabaseError(QStringLiteral("Поле «%1» не определено.").arg(name));
}

QString DuplicatesQuery(StoreConnection& connection, const QString& table,
                        const TFieldDefs& fields, const TIndexDef& index)
{
    QStringList present;
    QStringList keys;
    QStringList columns{QStringLiteral("count(*)")};
    for (const QString& name : index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const TFieldDef& def = CurrentField(fields, name.trimmed());
        const bool noCase =
            (index.Options & ixCaseInsensitive) && def.DataType == TFieldType::String;
        present << Quoted(def.Name) + QLatin1String(" IS NOT NULL");
        keys << connection.KeyTerm(Quoted(def.Name), noCase, def.DataType != TFieldType::String);
        columns << QLatin1String("min(") + Quoted(def.Name) + QLatin1Char(')');
    }
    const QString key = keys.join(QLatin1String(", "));
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 GROUP BY %4 HAVING count(*) > 1 ORDER BY %4")
        .arg(columns.join(QLatin1String(", ")), Quoted(table), present.join(QLatin1String(" AND ")),
             key);
}

} // namespace LayoutConform

namespace {

bool Exists(StoreConnection& connection, const QString& query)
{
    Statement statement(connection, QStringLiteral("SELECT EXISTS (%1)").arg(query));
    return statement.Step() && statement.Int(0) != 0;
}

bool HasBlanks(StoreConnection& connection, const QString& table, const QString& field)
{
    return Exists(
        connection,
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 IS NULL").arg(Quoted(table), Quoted(field)));
}

bool HasDuplicates(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
                   const TIndexDef& index)
{
    return Exists(connection, LayoutConform::DuplicatesQuery(connection, table, fields, index));
}

// The triggers that guard a unique index; a server store never has them, as its tables are
// always made with their keys.
int CountTriggers(StoreConnection& connection, const QStringList& names)
{
    if (connection.IsServer())
        return 0;
    Statement count(connection, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE "
                                               "type = 'trigger' AND name IN (?1, ?2)"));
    count.BindText(1, names.value(0));
    count.BindText(2, names.value(1));
    return count.Step() ? int(count.Int(0)) : 0;
}

bool SameFields(const QString& a, const QString& b)
{
    const QStringList left = a.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    const QStringList right = b.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (left.size() != right.size())
        return false;
    for (qsizetype i = 0; i < left.size(); ++i) {
        if (left[i].trimmed().compare(right[i].trimmed(), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

bool SameIndex(const TIndexDef& stored, const TIndexDef& wanted)
{
    const unsigned options = ixUnique | ixCaseInsensitive;
    return SameFields(stored.Fields, wanted.Fields) &&
           (stored.Options & options) == (wanted.Options & options);
}

bool SameField(const TFieldDef& stored, const TFieldDef& wanted)
{
    return stored.DataType == wanted.DataType && stored.Required == wanted.Required &&
           (stored.DataType != TFieldType::String || stored.Size == wanted.Size);
}

// What it takes to bring a stored table to a layout.
struct LayoutPlan
{
    bool rebuild = false;
    std::vector<TableSchema::RebuiltColumn> columns;
    QStringList constraints;
    QStringList rebuildIndexes; // after a rebuild
    QStringList indexChanges;   // without a rebuild
    QStringList guardChanges;   // after either
    // The same as a layout, for a store that makes its tables itself: every field the table
    // keeps, and the keys and indexes it gets.
    TFieldDefs fields;
    TIndexDefs indexes;
    QStringList waitingKeys; // unique keys that the rows would break
};

LayoutPlan PlanLayout(StoreConnection& connection, const TableSchema::StoredLayout& stored,
                      const TFieldDefs& fields, const TIndexDefs& indexes)
{
    const QString& table = stored.Name;
    const bool hasRows = Exists(connection, QStringLiteral("SELECT 1 FROM %1").arg(Quoted(table)));
    LayoutPlan plan;

    auto storedField = [&](const QString& name) {
        for (std::size_t i = 0; i < stored.Fields.size(); ++i) {
            if (stored.Fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    };
    auto currentField = [&](const QString& name) -> const TFieldDef* {
        for (const TFieldDef& def : fields) {
            if (def.Name.compare(name, Qt::CaseInsensitive) == 0)
                return &def;
        }
        return nullptr;
    };

    // A required field stays optional while rows hold blanks in it: nothing is lost.
    TFieldDefs wanted;
    for (const TFieldDef& def : fields) {
        TFieldDef want = def;
        if (want.Required && want.DataType != TFieldType::AutoInc) {
            const int at = storedField(def.Name);
            want.Required =
                at >= 0 ? !HasBlanks(connection, table, stored.Fields[at].Name) : !hasRows;
        }
        wanted.push_back(want);
        if (storedField(def.Name) < 0 && want.DataType == TFieldType::AutoInc) {
            plan.columns.push_back(
                {want.Name, TableSchema::ColumnDefinition(want), QStringLiteral("rowid"), true});
            plan.rebuild = true;
        }
    }
    for (std::size_t i = 0; i < stored.Fields.size(); ++i) {
        const TFieldDef& have = stored.Fields[i];
        if (const TFieldDef* def = currentField(have.Name)) {
            const TFieldDef& want = wanted[std::size_t(def - fields.data())];
            const bool rowid = want.DataType == TFieldType::AutoInc;
            plan.columns.push_back({want.Name, TableSchema::ColumnDefinition(want),
                                    rowid ? QStringLiteral("rowid") : Quoted(have.Name), rowid});
            plan.fields.push_back(want);
            plan.rebuild =
                plan.rebuild || !SameField(have, want) || (rowid && int(i) != stored.RowidAlias);
        } else {
            // Fields the program does not write must not refuse its rows.
            plan.columns.push_back({have.Name,
                                    TableSchema::StoredColumnDefinition(stored, int(i), false),
                                    Quoted(have.Name), false});
            TFieldDef kept = have;
            kept.Required = false;
            plan.fields.push_back(kept);
            plan.rebuild = plan.rebuild || int(i) == stored.RowidAlias ||
                           (have.Required && stored.Defaults[i].isEmpty());
        }
    }
    for (const TFieldDef& want : wanted) {
        if (storedField(want.Name) < 0) {
            if (want.DataType != TFieldType::AutoInc)
                plan.columns.push_back({want.Name, TableSchema::ColumnDefinition(want),
                                        QStringLiteral("NULL"), false});
            plan.fields.push_back(want);
            plan.rebuild = true;
        }
    }

    // The primary key; one that the rows would break (twice the same key) waits until they
    // are mended, and the table keeps its rows without it.
    const TableSchema::StoredIndex* storedKey = stored.Primary();
    const QString haveKey = storedKey ? storedKey->Def.Fields : QString();
    QString wantedKey;
    for (const TIndexDef& index : indexes) {
        if (!(index.Options & ixPrimary))
            continue;
        const QStringList keys = index.Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        const TFieldDef* def = keys.size() == 1 ? currentField(keys.front()) : nullptr;
        if (def && def->DataType == TFieldType::AutoInc) {
            wantedKey = index.Fields;
        } else if (SameFields(haveKey, index.Fields) ||
                   !HasDuplicates(connection, table, fields, index)) {
            wantedKey = index.Fields;
            plan.constraints << QLatin1String("PRIMARY KEY (") +
                                    TableSchema::KeyColumns(table, fields, index) +
                                    QLatin1Char(')');
        } else {
            plan.waitingKeys << index.Fields;
        }
        if (wantedKey == index.Fields)
            plan.indexes.push_back(index);
    }
    if (!SameFields(haveKey, wantedKey))
        plan.rebuild = true;

    // Secondary indexes; a unique one that the rows would break is made without uniqueness,
    // and guarded by triggers until the rows are mended.
    auto guard = [&](const TIndexDef& index, bool needed) {
        if (!(index.Options & ixUnique))
            return;
        const QStringList names = TableSchema::UniqueGuardNames(table, index.Name);
        const int present = CountTriggers(connection, names);
        if (needed && present < names.size()) {
            plan.guardChanges << TableSchema::UniqueGuardStatements(table, fields, index);
        } else if (!needed && present > 0) {
            for (const QString& name : names)
                plan.guardChanges << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(Quoted(name));
        }
    };
    TIndexDefs secondary;
    for (const TIndexDef& index : indexes) {
        if (index.Options & ixPrimary)
            continue;
        const TableSchema::StoredIndex* have = stored.FindIndex(index.Name);
        if (have && SameIndex(have->Def, index)) {
            secondary.push_back(index);
            guard(index, false);
            continue;
        }
        TIndexDef want = index;
        if ((want.Options & ixUnique) && HasDuplicates(connection, table, fields, want)) {
            want.Options &= ~ixUnique;
            plan.waitingKeys << want.Fields;
        }
        secondary.push_back(want);
        guard(index, !(want.Options & ixUnique));
        if (have && SameIndex(have->Def, want))
            continue;
        if (have)
            plan.indexChanges << QStringLiteral("DROP INDEX %1").arg(Quoted(have->StoreName));
        plan.indexChanges << TableSchema::IndexStatements(table, fields, {want});
    }
    plan.rebuildIndexes = TableSchema::IndexStatements(table, fields, secondary);
    plan.indexes.insert(plan.indexes.end(), secondary.begin(), secondary.end());
    for (const TableSchema::StoredIndex& index : stored.Indexes) {
        if ((index.Def.Options & ixPrimary) || index.StoreName.isEmpty())
            continue;
        bool replaced = false;
        for (const TIndexDef& want : secondary)
            replaced = replaced || want.Name.compare(index.Def.Name, Qt::CaseInsensitive) == 0;
        if (!replaced)
            plan.rebuildIndexes << TableSchema::StoredIndexStatement(stored, index);
    }
    return plan;
}

// A server makes the table anew with its own statements and copies the rows over, in one
// transaction; rows keep their identities. It has no triggers to guard a key while rows
// break it, so such a key refuses the change.
void RebuildOnServer(StoreConnection& connection, const TableSchema::StoredLayout& stored,
                     const LayoutPlan& plan)
{
    const QString& table = stored.Name;
    if (!plan.waitingKeys.isEmpty())
        throw EDatabaseError(
            QStringLiteral("Таблицу «%1» на сервере нельзя привести к структуре этой версии "
                           "программы: в ней есть записи с одинаковым ключом (%2). Исправьте "
                           "их и запустите программу снова.")
                .arg(table, plan.waitingKeys.join(QLatin1String(", "))
                                .replace(QLatin1Char(';'), QLatin1String(", "))));
    const QString old = table + QLatin1String(".old");
    connection.Begin();
    try {
        QStringList indexes;
        {
            Statement list(connection, QStringLiteral("SELECT c.relname FROM pg_index i JOIN "
                                                      "pg_class c ON c.oid = i.indexrelid WHERE "
                                                      "i.indrelid = ?1::regclass"));
            list.BindText(1, Quoted(table));
            while (list.Step())
                indexes << list.Text(0);
        }
        connection.Exec(
            QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(Quoted(table), Quoted(old)));
        for (const QString& index : indexes)
            connection.Exec(QStringLiteral("ALTER INDEX %1 RENAME TO %2")
                                .arg(Quoted(index), Quoted(index + QLatin1String(".old"))));
        for (const QString& statement :
             connection.CreateStatements(table, plan.fields, plan.indexes))
            connection.Exec(statement);
        const TableSchema::StoredLayout made = connection.ReadNamedLayout(table);
        QStringList targets;
        QStringList sources;
        for (std::size_t i = 0; i < made.Fields.size(); ++i) {
            const TFieldDef& def = made.Fields[i];
            const int from = stored.FindField(def.Name);
            QString source;
            if (int(i) == made.RowidAlias && (from < 0 || from != stored.RowidAlias))
                source = connection.RowidColumn(stored);
            else if (from >= 0)
                source = Quoted(stored.Fields[std::size_t(from)].Name);
            else
                continue; // a new field starts empty
            targets << Quoted(def.Name);
            sources << QStringLiteral("CAST(%1 AS %2)").arg(source, made.Declared[int(i)]);
        }
        const QString rowid = connection.RowidColumn(made);
        if (made.RowidAlias < 0) {
            targets << rowid;
            sources << connection.RowidColumn(stored);
        }
        connection.Exec(QStringLiteral("INSERT INTO %1 (%2) OVERRIDING SYSTEM VALUE SELECT %3 "
                                       "FROM %4")
                            .arg(Quoted(table), targets.join(QLatin1String(", ")),
                                 sources.join(QLatin1String(", ")), Quoted(old)));
        // New rows count on from the highest identity kept.
        Statement restart(connection,
                          QStringLiteral("SELECT setval(pg_get_serial_sequence(?1, ?2), (SELECT "
                                         "coalesce(max(%1), 0) + 1 FROM %2), false)")
                              .arg(rowid, Quoted(table)));
        restart.BindText(1, Quoted(table));
        restart.BindText(2, made.RowidAlias >= 0 ? made.Fields[std::size_t(made.RowidAlias)].Name
                                                 : rowid); // a column name taken as spelt
        restart.Step();
        connection.Exec(QStringLiteral("DROP TABLE %1").arg(Quoted(old)));
        connection.Commit();
    } catch (...) {
        if (connection.Depth() > 0)
            connection.Rollback();
        throw;
    }
}

} // namespace

namespace LayoutConform {

void Conform(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
             const TIndexDefs& indexes)
{
    const TableSchema::StoredLayout stored = TableSchema::ReadLayout(connection, table);
    const LayoutPlan plan = PlanLayout(connection, stored, fields, indexes);
    if (connection.IsServer()) {
        if (plan.rebuild || !plan.indexChanges.isEmpty() || !plan.guardChanges.isEmpty())
            RebuildOnServer(connection, stored, plan);
        return;
    }
    if (plan.rebuild) {
        TableSchema::Rebuild(connection, stored.Name, plan.columns, plan.constraints,
                             plan.rebuildIndexes);
    } else {
        for (const QString& statement : plan.indexChanges)
            connection.Exec(statement);
    }
    for (const QString& statement : plan.guardChanges)
        connection.Exec(statement);
}

bool IsConformed(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
                 const TIndexDefs& indexes)
{
    const LayoutPlan plan =
        PlanLayout(connection, TableSchema::ReadLayout(connection, table), fields, indexes);
    return !plan.rebuild && plan.indexChanges.isEmpty() && plan.guardChanges.isEmpty();
}

} // namespace LayoutConform

#include "storage/layouts/TableUpgrade.h"

#include <QHash>

#include <algorithm>
#include <utility>
#include <vector>

#include "amount/Amount.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/layouts/Layouts.h"
#include "storage/backup/StoreBackup.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"

using TableSchema::CutToSize;
using TableSchema::Quoted;

namespace {

QString EmployeeTable()
{
    return TableSchema::BareTableName(QString::fromLatin1(Layouts::EmployeeTableName));
}

QString OrganizationTable()
{
    return TableSchema::BareTableName(QString::fromLatin1(Layouts::OrganizationTableName));
}

const TFieldDef& CurrentField(const TFieldDefs& fields, const QString& name)
{
    for (const TFieldDef& def : fields) {
        if (def.Name == name)
            return def;
    }
    throw EDatabaseError(QStringLiteral("Поле «%1» не определено.").arg(name));
}

// "ALTER TABLE base ADD Fio100 CHAR(100)"
QString AddStatement(const QString& table, const TFieldDef& field)
{
    return QStringLiteral("ALTER TABLE %1 ADD %2 CHAR(%3)").arg(table, field.Name).arg(field.Size);
}

// "ALTER TABLE base Drop Org"
QString DropStatement(const QString& table, const QString& field)
{
    return QStringLiteral("ALTER TABLE %1 Drop %2").arg(table, field);
}

// Digits, a point and two digits, within the field's size: the normalised form of itself.
bool IsNormalized(const char* text, int length, int size)
{
    if (!text || length < 3 || (size > 0 && length > size))
        return false;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text[length - 3] != '.' || !digit(text[length - 2]) || !digit(text[length - 1]))
        return false;
    for (int i = 0; i < length - 3; ++i) {
        if (!digit(text[i]))
            return false;
    }
    return true;
}

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

// One row per key of the index that several rows share, blanks apart (a blank key is never
// equal), in key order: how many rows share it, then the key's fields as one row holds them.
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

bool HasDuplicates(StoreConnection& connection, const QString& table, const TFieldDefs& fields,
                   const TIndexDef& index)
{
    return Exists(connection, DuplicatesQuery(connection, table, fields, index));
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

} // namespace

std::optional<TTableUpgrade::Unusable> TTableUpgrade::FindUnusable(const QString& folder)
{
    return FindUnusable(TableSchema::ReadLayoutReadOnly(folder, EmployeeTable()),
                        TableSchema::ReadLayoutReadOnly(folder, OrganizationTable()));
}

std::optional<TTableUpgrade::Unusable> TTableUpgrade::FindUnusable(
    const std::optional<TableSchema::StoredLayout>& employees,
    const std::optional<TableSchema::StoredLayout>& organizations)
{

    // Fields a layout must hold as they are: those that the statements make, or that a
    // rebuild makes from the rowid, may be missing.
    const auto required = [](const TableSchema::StoredLayout& layout, const TFieldDefs& fields,
                             const QStringList& made) {
        TFieldDefs kept;
        for (const TFieldDef& def : fields) {
            if (!made.contains(def.Name) || layout.FindField(def.Name) >= 0)
                kept.push_back(def);
        }
        return kept;
    };
    // A current field spelled in another letter case is not found by the upgrade, whose
    // statement would then add it a second time.
    const auto misspelt = [](const TableSchema::StoredLayout& layout, const QString& name) {
        if (layout.FindField(name) >= 0)
            return QString();
        for (const TFieldDef& def : layout.Fields) {
            if (def.Name.compare(name, Qt::CaseInsensitive) == 0)
                return QStringLiteral("поле «%1» вместо «%2»").arg(def.Name, name);
        }
        return QString();
    };

    if (employees) {
        const TableSchema::StoredLayout& layout = *employees;
        QStringList reasons;
        for (const QString& name : {Layouts::FioField, Layouts::OrgField}) {
            const QString reason = misspelt(layout, name);
            if (!reason.isEmpty())
                reasons << reason;
        }
        const bool hasFio100 = layout.FindField(Layouts::FioField) >= 0;
        const bool hasOrg120 = layout.FindField(Layouts::OrgField) >= 0;
        if (reasons.isEmpty() && !hasFio100 && layout.FindField(Layouts::OlderFioField.Older) < 0)
            reasons << QStringLiteral("нет поля «%1» или «%2»")
                           .arg(Layouts::FioField, Layouts::OlderFioField.Older);
        if (reasons.isEmpty() && !hasOrg120 &&
            layout.FindField(Layouts::OlderOrgField.Older) >= 0) {
            if (!organizations)
                reasons << QStringLiteral("поле «%1» не перенести без таблицы «%2»")
                               .arg(Layouts::OlderOrgField.Older, OrganizationTable());
            else if (organizations->FindField(Layouts::OlderOrgNameField.Older) < 0)
                reasons << QStringLiteral("поле «%1» не перенести: в таблице «%2» нет поля «%3»")
                               .arg(Layouts::OlderOrgField.Older, OrganizationTable(),
                                    Layouts::OlderOrgNameField.Older);
        }
        const QString lacks = TableSchema::Lacks(
            layout,
            required(layout, Layouts::EmployeeFields(),
                     {QStringLiteral("Id"), Layouts::FioField, Layouts::OrgField}),
            {});
        if (!lacks.isEmpty())
            reasons << lacks;
        if (!reasons.isEmpty())
            return Unusable{layout.Name, reasons.join(QStringLiteral(", "))};
    }

    if (organizations) {
        const TableSchema::StoredLayout& layout = *organizations;
        QStringList reasons;
        const bool older = layout.FindField(Layouts::OlderOrgNameField.Older) >= 0;
        const QString reason = misspelt(layout, Layouts::OrgNameField);
        if (!reason.isEmpty())
            reasons << reason;
        else if (older && layout.FindField(Layouts::OrgNameField) >= 0)
            reasons << QStringLiteral("поля «%1» и «%2» вместе")
                           .arg(Layouts::OlderOrgNameField.Older, Layouts::OrgNameField);
        const QString lacks = TableSchema::Lacks(
            layout,
            required(layout, Layouts::OrganizationFields(),
                     older ? QStringList{Layouts::OrgNameField} : QStringList()),
            {});
        if (!lacks.isEmpty())
            reasons << lacks;
        if (!reasons.isEmpty())
            return Unusable{layout.Name, reasons.join(QStringLiteral(", "))};
    }
    return std::nullopt;
}

TTableUpgrade::TTableUpgrade(QString folder, TQuery& runner)
    : m_folder(std::move(folder)), m_runner(runner)
{
}

std::shared_ptr<StoreConnection> TTableUpgrade::Connection() const
{
    return Session().Connect(m_folder, true);
}

QString TTableUpgrade::MatchOrganization(const QString& old, const QStringList& names)
{
    QString name;
    for (const QString& candidate : names) {
        if (candidate == old)
            name = candidate;
        if (name.isEmpty() && !old.isEmpty() && candidate.contains(old))
            name = candidate;
    }
    return name;
}

bool TTableUpgrade::IsConformed(StoreConnection& connection, const QString& table,
                                const TFieldDefs& fields, const TIndexDefs& indexes)
{
    const LayoutPlan plan =
        PlanLayout(connection, TableSchema::ReadLayout(connection, table), fields, indexes);
    return !plan.rebuild && plan.indexChanges.isEmpty() && plan.guardChanges.isEmpty();
}

namespace {

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

void TTableUpgrade::ConformLayout(StoreConnection& connection, const QString& table,
                                  const TFieldDefs& fields, const TIndexDefs& indexes)
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

void TTableUpgrade::CopyBeforeFirstWrite()
{
    if (m_copyTried)
        return;
    m_copyTried = true;
    try {
        TStoreBackup::MakeBeforeChange(m_folder, Now());
    } catch (const Exception& error) {
        if (OnBackupFailed)
            OnBackupFailed(error);
    }
}

void TTableUpgrade::Run(const QString& statement)
{
    m_runner.SetDatabaseName(m_folder);
    m_runner.SQL = statement;
    m_runner.Params.clear();
    m_runner.ExecSQL();
}

int TTableUpgrade::NormalizeAmounts(const QString& table)
{
    const std::shared_ptr<StoreConnection> connection = Connection();
    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(*connection, table);
    const int field = layout.FindField(Layouts::AmountField);
    if (field < 0)
        throw EDatabaseError(QStringLiteral("Поле «%1» не найдено в таблице «%2».")
                                 .arg(Layouts::AmountField, layout.Name));
    const int size = layout.Fields[std::size_t(field)].Size;
    StoreConnection& db = *connection;
    const QString rowid = db.RowidColumn(layout);
    Statement select(db, QStringLiteral("SELECT %3, %1 FROM %2 ORDER BY %3")
                             .arg(Quoted(Layouts::AmountField), Quoted(layout.Name), rowid));
    Statement update(db, QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE %3 = ?2")
                             .arg(Quoted(layout.Name), Quoted(Layouts::AmountField), rowid));
    // The changes are gathered first and written after the read, so the read never walks
    // a table that is changing under it; a row that cannot be normalised still leaves the
    // rows before it written.
    std::vector<std::pair<qint64, QString>> changes;
    auto write = [&] {
        if (changes.empty())
            return;
        CopyBeforeFirstWrite();
        TTransaction transaction(m_folder, TTransaction::Mode::KeepDone);
        for (const auto& [rowid, normal] : changes) {
            update.BindText(1, normal);
            update.BindInt(2, rowid);
            update.Step();
            update.Reset();
        }
        transaction.Commit();
    };
    const Statement& s = select;
    try {
        while (select.Step()) {
            const QByteArrayView value = s.Utf8(1);
            const char* bytes = value.data();
            const int length = int(value.size());
            if (IsNormalized(bytes, length, size))
                continue;
            const QString text = bytes ? QString::fromUtf8(bytes, length) : QString();
            // Written the Russian way ("0,75", "1 500,50") it is that number; anything else
            // is normalised as it always was, never dropped.
            const QString inner = text.trimmed();
            const bool russian = inner.contains(QLatin1Char(',')) ||
                                 inner.contains(QLatin1Char(' ')) ||
                                 inner.contains(QChar(0x00A0));
            const QString read = russian ? Amount::ReadWrittenAmount(text) : QString();
            QString normal =
                CutToSize(read.isNull() ? Amount::NormalizeAmount(text) : read, size);
            if (!bytes || normal != text)
                changes.emplace_back(s.Int(0), std::move(normal));
        }
    } catch (...) {
        select.Reset();
        write();
        throw;
    }
    select.Reset();
    write();
    const int written = int(changes.size());
    return written;
}

TTableUpgrade::Duplicates TTableUpgrade::DuplicateEmployees(int limit)
{
    Duplicates found;
    const std::shared_ptr<StoreConnection> connection = Connection();
    const QString table = TableSchema::FindTable(*connection, EmployeeTable());
    if (table.isEmpty())
        return found;
    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(*connection, table);
    const TableSchema::StoredIndex* stored = layout.FindIndex(Layouts::EmployeeIndex);
    if (stored && (stored->Def.Options & ixUnique))
        return found; // the index itself keeps them out
    const TIndexDefs indexes = Layouts::EmployeeIndexes();
    const auto index = std::find_if(indexes.begin(), indexes.end(), [](const TIndexDef& def) {
        return def.Name == QLatin1String(Layouts::EmployeeIndex);
    });
    Statement select(*connection,
                     DuplicatesQuery(*connection, table, Layouts::EmployeeFields(), *index));
    const int keyFields = int(index->Fields.split(QLatin1Char(';'), Qt::SkipEmptyParts).size());
    while (select.Step()) {
        if (found.Count++ >= limit)
            continue;
        QStringList key;
        for (int column = 1; column <= keyFields; ++column)
            key << select.Text(column);
        found.Keys << key;
    }
    return found;
}

QStringList TTableUpgrade::OrganizationNames()
{
    TTable organizations;
    organizations.SetDatabaseName(m_folder);
    organizations.SetTableName(OrganizationTable());
    organizations.Open();
    const TField name = organizations.FieldByName(Layouts::OlderOrgNameField.Older);
    QStringList names;
    for (organizations.First(); !organizations.Eof(); organizations.Next())
        names << name.AsString();
    return names;
}

void TTableUpgrade::CarryOverOrganizations(const QString& table, const QStringList& names)
{
    const std::shared_ptr<StoreConnection> connection = Connection();
    StoreConnection& db = *connection;
    const QString rowid = db.RowidColumn(TableSchema::ReadLayout(db, table));
    const int size = CurrentField(Layouts::EmployeeFields(), Layouts::OrgField).Size;
    Statement select(db, QStringLiteral("SELECT %3, %1 FROM %2")
                             .arg(Quoted(Layouts::OlderOrgField.Older), Quoted(table), rowid));
    Statement update(db, QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE %3 = ?2")
                             .arg(Quoted(table), Quoted(Layouts::OrgField), rowid));
    QHash<QString, QString> chosen; // by old value: employees share few organisations
    while (select.Step()) {
        const QString old = select.Text(1);
        auto found = chosen.find(old);
        if (found == chosen.end())
            found = chosen.insert(old, CutToSize(MatchOrganization(old, names), size));
        if (found->isEmpty())
            continue;
        update.BindText(1, *found);
        update.BindInt(2, select.Int(0));
        update.Step();
        update.Reset();
    }
}

void TTableUpgrade::UpgradeEmployees(TTable& view)
{
    view.Close();
    const QString table = EmployeeTable();
    NormalizeAmounts(table);

    const std::shared_ptr<StoreConnection> connection = Connection();
    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(*connection, table);
    const bool hasOrg = layout.FindField(Layouts::OlderOrgField.Older) >= 0;
    const bool hasOrg120 = layout.FindField(Layouts::OrgField) >= 0;
    const bool hasFio100 = layout.FindField(Layouts::FioField) >= 0;
    const TFieldDefs fields = Layouts::EmployeeFields();
    const TIndexDefs indexes = Layouts::EmployeeIndexes();
    if (hasFio100 && hasOrg120 && IsConformed(*connection, table, fields, indexes))
        return;

    // Read before anything changes: a missing organisation table stops the upgrade here.
    const QStringList names = !hasOrg120 && hasOrg ? OrganizationNames() : QStringList();
    CopyBeforeFirstWrite();
    TTransaction transaction(m_folder);
    if (!hasFio100) {
        Run(AddStatement(table, CurrentField(fields, Layouts::FioField)));
        Run(QStringLiteral("update %1 set %2 = %3")
                .arg(table, Layouts::FioField, Layouts::OlderFioField.Older));
    }
    if (!hasOrg120) {
        Run(AddStatement(table, CurrentField(fields, Layouts::OrgField)));
        if (hasOrg) {
            CarryOverOrganizations(table, names);
            Run(DropStatement(table, Layouts::OlderOrgField.Older));
        }
    }
    ConformLayout(*connection, table, fields, indexes);
    transaction.Commit();
}

void TTableUpgrade::UpgradeOrganizations(TTable& view)
{
    const QString table = OrganizationTable();
    const bool older = view.FieldNames().contains(Layouts::OlderOrgNameField.Older);
    const TFieldDefs fields = Layouts::OrganizationFields();
    const TIndexDefs indexes = Layouts::OrganizationIndexes();
    const std::shared_ptr<StoreConnection> connection = Connection();
    if (!older && IsConformed(*connection, table, fields, indexes))
        return;

    CopyBeforeFirstWrite();
    TTransaction transaction(m_folder);
    if (older) {
        view.Close();
        Run(AddStatement(table, CurrentField(fields, Layouts::OrgNameField)));
        view.Open();
        const TField from = view.FieldByName(Layouts::OlderOrgNameField.Older);
        TField to = view.FieldByName(Layouts::OrgNameField);
        view.First();
        const int count = view.RecordCount();
        for (int i = 0; i < count; ++i) {
            view.Edit();
            to.SetAsString(from.AsString());
            view.Post();
            view.Next();
        }
        view.Close();
        Run(DropStatement(table, Layouts::OlderOrgNameField.Older));
    }
    view.Close();
    ConformLayout(*connection, table, fields, indexes);
    transaction.Commit();
}

#include "storage/layouts/TableUpgrade.h"

#include <QHash>

#include <algorithm>
#include <utility>
#include <vector>

#include "amount/Amount.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/layouts/LayoutConform.h"
#include "storage/layouts/Layouts.h"
#include "storage/backup/StoreBackup.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"

using TableSchema::CutToSize;
using LayoutConform::CurrentField;
using LayoutConform::DuplicatesQuery;
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
    return LayoutConform::IsConformed(connection, table, fields, indexes);
}

void TTableUpgrade::ConformLayout(StoreConnection& connection, const QString& table,
                                  const TFieldDefs& fields, const TIndexDefs& indexes)
{
    LayoutConform::Conform(connection, table, fields, indexes);
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

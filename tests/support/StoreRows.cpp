#include "tests/support/StoreRows.h"

#include "storage/Layouts.h"
#include "storage/TTable.h"
#include "storage/TTransaction.h"

namespace StoreRows {

void CreateEmployees(const QString& dataDir, const QList<Employee>& rows)
{
    TTable base;
    base.SetDatabaseName(dataDir);
    base.SetTableName(QStringLiteral("base"));
    base.FieldDefs() = Layouts::EmployeeFields();
    base.IndexDefs() = Layouts::EmployeeIndexes();
    base.CreateTable();
    base.Open();
    TTransaction transaction(dataDir);
    for (const Employee& e : rows) {
        base.Append();
        base.FieldByName(Layouts::FioField).SetAsString(e.fio);
        base.FieldByName(Layouts::AccntField).SetAsString(e.accnt);
        base.FieldByName(Layouts::AmountField).SetAsString(e.amount);
        base.FieldByName(Layouts::OrgField).SetAsString(e.org);
        base.FieldByName(Layouts::ExportField).SetAsBoolean(e.flag);
        base.Post();
    }
    transaction.Commit();
}

void CreateOrganizations(const QString& dataDir, const QStringList& names)
{
    TTable config;
    config.SetDatabaseName(dataDir);
    config.SetTableName(QStringLiteral("config"));
    config.FieldDefs() = Layouts::OrganizationFields();
    config.IndexDefs() = Layouts::OrganizationIndexes();
    config.CreateTable();
    for (const QString& name : names)
        AddOrganization(dataDir, name);
}

void AddOrganization(const QString& dataDir, const QString& name)
{
    TTable config;
    config.SetDatabaseName(dataDir);
    config.SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
    config.Open();
    config.Append();
    for (const QString& field : config.FieldNames())
        config.FieldByName(field).SetAsString(QStringLiteral("1"));
    config.FieldByName(Layouts::OrgNameField).SetAsString(name);
    config.Post();
}

QList<Employee> StoredEmployees(const QString& dataDir)
{
    TTable base;
    base.SetDatabaseName(dataDir);
    base.SetTableName(QStringLiteral("base"));
    base.SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    base.Open();
    QList<Employee> rows;
    for (base.First(); !base.Eof(); base.Next()) {
        rows.append({base.FieldByName(Layouts::FioField).AsString(),
                     base.FieldByName(Layouts::AccntField).AsString(),
                     base.FieldByName(Layouts::AmountField).AsString(),
                     base.FieldByName(Layouts::OrgField).AsString(),
                     base.FieldByName(Layouts::ExportField).AsBoolean()});
    }
    return rows;
}

} // namespace StoreRows

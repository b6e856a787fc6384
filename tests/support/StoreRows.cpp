#include "tests/support/StoreRows.h"

#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"

namespace StoreRows {

void AppendEmployee(TTable& base, const QString& fio, const QString& accnt, const QString& amount,
                    const QString& org, std::optional<bool> flag)
{
    base.Append();
    base.FieldByName(Layouts::FioField).SetAsString(fio);
    base.FieldByName(Layouts::AccntField).SetAsString(accnt);
    base.FieldByName(Layouts::AmountField).SetAsString(amount);
    base.FieldByName(Layouts::OrgField).SetAsString(org);
    if (flag)
        base.FieldByName(Layouts::ExportField).SetAsBoolean(*flag);
    base.Post();
}

QStringList OrganizationFieldNames()
{
    QStringList names;
    for (const TFieldDef& field : Layouts::OrganizationFields())
        names << field.Name;
    return names;
}

void AppendOrganization(TTable& config, const QStringList& values)
{
    config.Append();
    const QStringList fields = OrganizationFieldNames();
    for (int i = 0; i < fields.size(); ++i)
        config.FieldByName(fields[i]).SetAsString(values.value(i));
    config.Post();
}

std::unique_ptr<TTable> OpenEmployees(const QString& dataDir)
{
    auto base = std::make_unique<TTable>();
    base->SetDatabaseName(dataDir);
    base->SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    base->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    base->Open();
    return base;
}

void CreateEmployees(const QString& dataDir, const QList<Employee>& rows)
{
    TTable base;
    base.SetDatabaseName(dataDir);
    base.SetTableName(QStringLiteral("base"));
    base.FieldDefs() = Layouts::EmployeeFields();
    base.IndexDefs() = Layouts::EmployeeIndexes();
    base.CreateTable();
    if (rows.isEmpty())
        return;
    base.Open();
    TTransaction transaction(dataDir);
    for (const Employee& e : rows)
        AppendEmployee(base, e.fio, e.accnt, e.amount, e.org, e.flag);
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
    const std::unique_ptr<TTable> base = OpenEmployees(dataDir);
    QList<Employee> rows;
    for (base->First(); !base->Eof(); base->Next()) {
        rows.append({base->FieldByName(Layouts::FioField).AsString(),
                     base->FieldByName(Layouts::AccntField).AsString(),
                     base->FieldByName(Layouts::AmountField).AsString(),
                     base->FieldByName(Layouts::OrgField).AsString(),
                     base->FieldByName(Layouts::ExportField).AsBoolean()});
    }
    return rows;
}

} // namespace StoreRows

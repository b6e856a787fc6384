#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TTable;

// A store with given rows in a data folder, written through the table store as the program
// would find it, and the employees read back as stored.
namespace StoreRows {

struct Employee
{
    QString fio;
    QString accnt;
    QString amount;
    QString org;
    bool flag = false;

    bool operator==(const Employee&) const = default;
};

// Appends one employee to an open view of the employee table; the flag stays unset unless given.
void AppendEmployee(TTable& base, const QString& fio, const QString& accnt, const QString& amount,
                    const QString& org, std::optional<bool> flag = std::nullopt);
// Appends one organisation to an open view of the organisation table: its fields in the
// layout's order (name, account, position, director, accountant, contract, currency).
void AppendOrganization(TTable& config, const QStringList& values);
// The organisation table's field names in the layout's order.
QStringList OrganizationFieldNames();

// A view of the employee table in the grid's order (name, then account), open.
std::unique_ptr<TTable> OpenEmployees(const QString& dataDir);

// Creates the employee table and stores the rows.
void CreateEmployees(const QString& dataDir, const QList<Employee>& rows = {});
// Creates the organisation table with one organisation per name (every other field "1").
void CreateOrganizations(const QString& dataDir, const QStringList& names = {});
// Adds an organisation to the existing table.
void AddOrganization(const QString& dataDir, const QString& name);

// The employees as stored, in the grid's order (name, then account).
QList<Employee> StoredEmployees(const QString& dataDir);

} // namespace StoreRows

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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

// Creates the employee table and stores the rows.
void CreateEmployees(const QString& dataDir, const QList<Employee>& rows = {});
// Creates the organisation table with one organisation per name (every other field "1").
void CreateOrganizations(const QString& dataDir, const QStringList& names = {});
// Adds an organisation to the existing table.
void AddOrganization(const QString& dataDir, const QString& name);

// The employees as stored, in the grid's order (name, then account).
QList<Employee> StoredEmployees(const QString& dataDir);

} // namespace StoreRows

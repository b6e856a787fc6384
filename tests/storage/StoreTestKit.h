#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include "storage/engine/sqlite/Collation.h"
#include "storage/layouts/Layouts.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TTable.h"
#include "tests/support/StoreRows.h"

// Small helpers shared by the store tests.
namespace StoreTestKit {

inline QString StoreFile(const QString& dataDir)
{
    return dataDir + QStringLiteral("store.sqlite3");
}

using StoreRows::CreateEmployees;
using StoreRows::CreateOrganizations;
using StoreRows::OpenEmployees;

// A new, empty employee table, opened in the grid's order.
inline std::unique_ptr<TTable> NewEmployees(const QString& dataDir)
{
    CreateEmployees(dataDir);
    return OpenEmployees(dataDir);
}

inline std::unique_ptr<TTable> OpenOrganizations(const QString& dataDir)
{
    auto table = std::make_unique<TTable>();
    table->SetDatabaseName(dataDir);
    table->SetTableName(QStringLiteral("config.db"));
    table->Open();
    return table;
}

// An organisation whose other fields are filled from its name.
inline void AddOrganization(TTable& table, const QString& name, const QString& accnt = {})
{
    table.Append();
    for (const QString& field : table.FieldNames())
        table.FieldByName(field).SetAsString(name.left(3));
    table.FieldByName(QStringLiteral("Organization120")).SetAsString(name);
    if (!accnt.isEmpty())
        table.FieldByName(QStringLiteral("Accnt")).SetAsString(accnt);
    table.Post();
}

inline void AddEmployee(TTable& table, const QString& fio, const QString& accnt,
                        const QString& amount = {}, const QString& org = {})
{
    StoreRows::AppendEmployee(table, fio, accnt, amount, org);
}

inline QStringList Column(TTable& table, const QString& field)
{
    QStringList values;
    for (table.First(); !table.Eof(); table.Next())
        values << table.FieldByName(field).AsString();
    return values;
}

// A connection of its own, as another program would open the store (the folder's SQLite
// file or its server). Names in its SQL are quoted where letter case matters on a server.
class RawStore
{
public:
    explicit RawStore(const QString& dataDir) : m_store(StoreConnection::Open(dataDir, false, 5000))
    {
    }
    RawStore(const RawStore&) = delete;
    RawStore& operator=(const RawStore&) = delete;

    // 0 (SQLITE_OK) when the statement ran.
    int Exec(const QString& sql)
    {
        try {
            m_store->Exec(sql);
            return 0;
        } catch (const EDatabaseError& error) {
            qWarning("%s", qPrintable(error.Message()));
            return 1;
        }
    }
    // The first column of every row, as text; "<null>" for NULL.
    QStringList Query(const QString& sql)
    {
        QStringList result;
        Statement statement(*m_store, sql);
        while (statement.Step())
            result << (statement.IsNull(0) ? QStringLiteral("<null>") : statement.Text(0));
        return result;
    }

private:
    std::shared_ptr<StoreConnection> m_store;
};

} // namespace StoreTestKit

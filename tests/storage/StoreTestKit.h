#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include <sqlite3.h>

#include "storage/Collation.h"
#include "storage/Layouts.h"
#include "storage/TTable.h"
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

// A connection of its own, as another program would open the store.
class RawStore
{
public:
    explicit RawStore(const QString& file)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        Collation::Register(m_db);
    }
    ~RawStore() { sqlite3_close(m_db); }
    RawStore(const RawStore&) = delete;
    RawStore& operator=(const RawStore&) = delete;

    int Exec(const QString& sql)
    {
        return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    }
    // The first column of every row, as text; "<null>" for NULL.
    QStringList Query(const QString& sql)
    {
        QStringList result;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            result << (text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
        }
        sqlite3_finalize(stmt);
        return result;
    }

private:
    sqlite3* m_db = nullptr;
};

} // namespace StoreTestKit

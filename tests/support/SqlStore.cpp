#include "tests/support/SqlStore.h"

#include <QTest>

#include <sqlite3.h>

#include "storage/engine/sqlite/Collation.h"

namespace {

QString StoreFile(const QString& dataDir)
{
    return dataDir + QStringLiteral("store.sqlite3");
}

sqlite3* Open(const QString& dataDir)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(StoreFile(dataDir).toUtf8().constData(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_busy_timeout(db, 5000);
    Collation::Register(db);
    return db;
}

} // namespace

namespace SqlStore {

bool Exec(const QString& dataDir, const QStringList& statements)
{
    sqlite3* db = Open(dataDir);
    for (const QString& statement : statements) {
        char* error = nullptr;
        if (sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &error) !=
            SQLITE_OK) {
            const QString message = statement + QStringLiteral(": ") + QString::fromUtf8(error);
            sqlite3_free(error);
            sqlite3_close(db);
            QTest::qFail(message.toUtf8().constData(), __FILE__, __LINE__);
            return false;
        }
    }
    sqlite3_close(db);
    return true;
}

QStringList Column(const QString& dataDir, const QString& query)
{
    QStringList result;
    sqlite3* db = Open(dataDir);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        result << QStringLiteral("<error: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        result << (text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

QStringList Schema(const QString& dataDir)
{
    return Column(dataDir, QStringLiteral("SELECT type || ' ' || name || ': ' || sql "
                                          "FROM sqlite_master WHERE sql IS NOT NULL "
                                          "ORDER BY type, name"));
}

// Older layouts, as earlier versions left them.
const QString OlderBase = QStringLiteral(
    "CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio CHAR(100), Accnt CHAR(22), "
    "Amount CHAR(15), Export BOOLEAN, Org CHAR(120))");
const QString OlderConfig = QStringLiteral(
    "CREATE TABLE config (Organization CHAR(120) NOT NULL, Accnt CHAR(22), Position CHAR(30), "
    "Director CHAR(30), Accountant CHAR(30), Contract CHAR(8), Crnc CHAR(3), "
    "PRIMARY KEY (Organization))");

QString Values(const QStringList& texts)
{
    QStringList quoted;
    for (const QString& text : texts)
        quoted << (text == QLatin1String("<null>")
                       ? QStringLiteral("NULL")
                       : QLatin1Char('\'') +
                             QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
                             QLatin1Char('\''));
    return quoted.join(QLatin1String(", "));
}

QString OlderEmployee(const QString& fio, const QString& accnt, const QString& org)
{
    return QStringLiteral("INSERT INTO base (Fio, Accnt, Amount, Org) VALUES (%1)")
        .arg(Values({fio, accnt, QStringLiteral("1"), org}));
}

QString OlderOrganization(const QString& name)
{
    return QStringLiteral("INSERT INTO config (Organization, Accnt, Position, Director, "
                          "Accountant, Contract, Crnc) VALUES (%1)")
        .arg(Values({name, QStringLiteral("40702810"), QStringLiteral("Директор"),
                     QStringLiteral("Петров П.П."), QStringLiteral("Сидорова С.С."),
                     QStringLiteral("77"), QStringLiteral("810")}));
}

} // namespace SqlStore

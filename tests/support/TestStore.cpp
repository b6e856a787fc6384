#include "tests/support/TestStore.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <libpq-fe.h>

#include "storage/engine/StoreConnection.h"

namespace TestStore {

bool IsServer()
{
    return qgetenv("PELLOMAR_TEST_STORE") == "server";
}

void Prepare(const QString& dataDir)
{
    if (!IsServer())
        return;
    const QByteArray server = qgetenv("PELLOMAR_TEST_SERVER");
    if (server.isEmpty())
        QSKIP("PELLOMAR_TEST_SERVER names no test server (scripts/test starts one)");
    static int count = 0;
    const QByteArray schema = "t" + QByteArray::number(QCoreApplication::applicationPid()) + "_" +
                              QByteArray::number(++count);
    PGconn* conn = PQconnectdb(server.constData());
    PGresult* result = PQexec(conn, "CREATE SCHEMA " + schema);
    const bool made = PQresultStatus(result) == PGRES_COMMAND_OK;
    const QByteArray error = PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
    if (!made)
        QFAIL(error.constData());
    QFile conf(QDir(dataDir).filePath(QLatin1String(StoreConnection::ServerFileName)));
    if (!conf.open(QIODevice::WriteOnly))
        QFAIL("server.conf not written");
    conf.write(server + " options='-c search_path=" + schema + "'\n");
}

} // namespace TestStore

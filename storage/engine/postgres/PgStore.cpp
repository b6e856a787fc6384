#include "storage/engine/postgres/PgStore.h"

#include <algorithm>
#include <utility>

#include <libpq-fe.h>

#include "storage/engine/postgres/ServerReason.h"

namespace {

QString ConnectionMessage(PGconn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

QString HostName(PGconn* conn)
{
    const char* host = PQhost(conn);
    return host && *host ? QString::fromUtf8(host) : QStringLiteral("localhost");
}

// more: a sentence said after the reason.
EDatabaseError NoConnection(PGconn* conn, const QString& detail, const QString& more = {})
{
    return EDatabaseError(ServerReason::NoConnection(HostName(conn), detail) + more);
}

QString Field(const PGresult* result, int code)
{
    const char* value = result ? PQresultErrorField(result, code) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

} // namespace

std::shared_ptr<PgConnection> PgConnection::Open(const QString& connectionString, int busyTimeoutMs)
{
    PGconn* conn = PQconnectdb(connectionString.toUtf8().constData());
    if (!conn)
        throw EDatabaseError(QStringLiteral("Нет связи с сервером: недостаточно памяти."));
    if (PQstatus(conn) != CONNECTION_OK) {
        const EDatabaseError error = NoConnection(conn, ConnectionMessage(conn));
        PQfinish(conn);
        throw error;
    }
    const QString where = QStringLiteral("%1 на сервере %2")
                              .arg(QString::fromUtf8(PQdb(conn)), QString::fromUtf8(PQhost(conn)));
    std::shared_ptr<PgConnection> connection(new PgConnection(conn, where, busyTimeoutMs));
    connection->Setup();
    connection->m_schema = connection->QueryText(QStringLiteral("SELECT current_schema()"));
    connection->DropTriggerAnnouncements();
    return connection;
}

QString PgConnection::Unreachable(const QString& connectionString)
{
    PGconn* conn = PQconnectdb(connectionString.toUtf8().constData());
    if (!conn)
        return QStringLiteral("Нет связи с сервером: недостаточно памяти.");
    const QString reason = PQstatus(conn) == CONNECTION_OK
                               ? QString()
                               : NoConnection(conn, ConnectionMessage(conn)).Message();
    PQfinish(conn);
    return reason;
}

PgConnection::PgConnection(pg_conn* conn, QString where, int busyTimeoutMs)
    : StoreConnection(std::move(where)), m_conn(conn), m_busyTimeoutMs(busyTimeoutMs)
{
}

void PgConnection::Setup()
{
    if (PQsetClientEncoding(m_conn, "UTF8") != 0)
        throw Error(nullptr, QStringLiteral("SET client_encoding"));
    Exec(QStringLiteral("SET lock_timeout = %1").arg(std::max(m_busyTimeoutMs, 1)));
    Simple("SET client_min_messages TO warning");
    Exec(QStringLiteral("LISTEN %1").arg(QLatin1String(ChangeChannel)));
}

void PgConnection::EnsureConnected()
{
    if (Depth() > 0)
        return;
    // A server gone since the last command has closed the socket: reading says so.
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken &&
        PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        PQconsumeInput(m_conn);
    if (PQstatus(m_conn) == CONNECTION_OK && !m_broken)
        return;
    PQreset(m_conn);
    m_broken = false;
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw NoConnection(m_conn, ConnectionMessage(m_conn));
    ++m_generation;
    m_missedChanges = true;
    Setup();
}

PgConnection::~PgConnection()
{
    PQfinish(m_conn);
}

QString PgConnection::Host() const
{
    return HostName(m_conn);
}

void PgConnection::Simple(const char* sql)
{
    PQclear(PQexec(m_conn, sql)); // a setting of convenience: its failure changes nothing
}

EDatabaseError PgConnection::Error(const pg_result* result, const QString& sql) const
{
    using Kind = EDatabaseError::Kind;
    const QString state = Field(result, PG_DIAG_SQLSTATE);
    QString detail = Field(result, PG_DIAG_MESSAGE_PRIMARY);
    if (detail.isEmpty())
        detail = ConnectionMessage(m_conn);
    // An error libpq made itself (no SQLSTATE) may be the socket closing under it.
    const bool lost = m_broken || state.startsWith(QLatin1String("08")) ||
                      state.startsWith(QLatin1String("57P")) ||
                      (state.isEmpty() && PQconsumeInput(m_conn) == 0) ||
                      PQstatus(m_conn) != CONNECTION_OK;
    if (lost) {
        m_broken = true; // whatever libpq still thinks, the session is over
        // A commit whose answer never came may have been stored or not.
        if (sql.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
            return NoConnection(m_conn, detail,
                                QStringLiteral(" Неизвестно, сохранены ли изменения: проверьте "
                                               "их, когда связь восстановится."));
        return NoConnection(m_conn, detail);
    }
    if (state == QLatin1String("23505")) {
        QString index = Field(result, PG_DIAG_CONSTRAINT_NAME);
        const qsizetype dot = index.indexOf(QLatin1Char('.'));
        if (dot >= 0)
            index = index.mid(dot + 1);
        return EDatabaseError(QStringLiteral("Запись с таким ключом уже существует."),
                              Kind::KeyViolation, 0, index);
    }
    if (state == QLatin1String("23502"))
        return EDatabaseError(QStringLiteral("Не заполнено обязательное поле: %1").arg(detail),
                              Kind::RequiredBlank);
    if (state == QLatin1String("55P03") || state == QLatin1String("40001") ||
        state == QLatin1String("40P01"))
        return EDatabaseError(QStringLiteral("База данных «%1» занята другой программой. "
                                             "Повторите попытку позже.")
                                  .arg(FilePath()),
                              Kind::Locked);
    if (state == QLatin1String("42501"))
        return EDatabaseError(QStringLiteral("Нет прав на запись в «%1».").arg(FilePath()));
    if (state.startsWith(QLatin1String("42")))
        return EDatabaseError(
            QStringLiteral("Ошибка выполнения запроса «%1»: %2").arg(sql, detail));
    return EDatabaseError(QStringLiteral("Ошибка базы данных «%1»: %2").arg(FilePath(), detail));
}

pg_result* PgConnection::Run(const std::function<pg_result*()>& exec,
                             const std::function<int()>& send, const QString& sql,
                             const QString& written)
{
    const bool inTransaction = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (inTransaction && !m_announced.isEmpty() &&
        sql.compare(QLatin1String("COMMIT"), Qt::CaseInsensitive) == 0)
        Announce(); // inside the transaction: told to others when, and only if, it commits
    const bool guarded = !written.isEmpty() && send && inTransaction;
    PGresult* result = guarded ? RunInSavepoint(send) : exec();
    const ExecStatusType status = PQresultStatus(result);
    if (result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)) {
        if (!written.isEmpty()) {
            m_announced.insert(written);
            if (!inTransaction)
                Announce();
        } else if (PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
            m_announced.clear(); // committed (and told) or rolled back
        }
        return result;
    }
    EDatabaseError error = Error(result, sql);
    PQclear(result);
    if (guarded && PQtransactionStatus(m_conn) == PQTRANS_INERROR)
        PQclear(PQexec(m_conn, "ROLLBACK TO pg_statement; RELEASE pg_statement"));
    throw error;
}

pg_result* PgConnection::RunInSavepoint(const std::function<int()>& send)
{
    // The savepoint, the statement and the release go in one round trip.
    if (PQenterPipelineMode(m_conn) != 1)
        return nullptr;
    PQsendQueryParams(m_conn, "SAVEPOINT pg_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    send();
    PQsendQueryParams(m_conn, "RELEASE pg_statement", 0, nullptr, nullptr, nullptr, nullptr, 0);
    PQpipelineSync(m_conn);
    PGresult* statement = nullptr;
    int query = 0;
    for (int ends = 0; ends < 4;) {
        PGresult* result = PQgetResult(m_conn);
        if (!result) {
            ++query, ++ends; // the end of one query's results
            continue;
        }
        if (PQresultStatus(result) == PGRES_PIPELINE_SYNC) {
            PQclear(result);
            break;
        }
        if (query == 1 && !statement)
            statement = result;
        else
            PQclear(result);
    }
    while (PQexitPipelineMode(m_conn) != 1) {
        PGresult* rest = PQgetResult(m_conn);
        if (!rest && PQexitPipelineMode(m_conn) != 1) {
            m_broken = true; // the server went away mid-pipeline
            break;
        }
        PQclear(rest);
    }
    return statement;
}

QString PgConnection::OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const
{
    return KeyTerm(quotedColumn, noCase, numeric) + QLatin1String(" NULLS FIRST");
}

QString PgConnection::KeyTerm(const QString& quotedColumn, bool noCase, bool numeric) const
{
    if (numeric)
        return quotedColumn;
    if (noCase)
        return QStringLiteral("%1(%2) COLLATE \"C\"")
            .arg(QLatin1String(NoCaseFunction), quotedColumn);
    return quotedColumn + QLatin1String(" COLLATE \"C\"");
}

QString PgConnection::NullSafeEquals() const
{
    return QStringLiteral("IS NOT DISTINCT FROM");
}

QString PgConnection::InsertReturning(const QString& columns) const
{
    return QLatin1String(" RETURNING ") + columns;
}

qint64 PgConnection::LastInsertRowid()
{
    return -1;
}

QString PgConnection::BeginStatement() const
{
    return QStringLiteral("BEGIN");
}

bool PgConnection::InTransaction() const
{
    // A lost connection took its transaction with it.
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return !m_broken && status != PQTRANS_IDLE && status != PQTRANS_UNKNOWN;
}

#include "storage/engine/postgres/PgStore.h"

#include <utility>

#include <libpq-fe.h>

void PgConnection::DropTriggerAnnouncements()
{
    // Tables made by an earlier version announced their writes by a trigger, which made
    // every write in a transaction several times dearer; connections announce them now.
    QStringList drops;
    {
        Statement triggers(
            *this, QStringLiteral("SELECT format('DROP TRIGGER %I ON %I', t.tgname, c.relname) "
                                  "FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                  "WHERE c.relnamespace = current_schema()::regnamespace AND "
                                  "t.tgname LIKE '%.announce'"));
        while (triggers.Step())
            drops << triggers.Text(0);
    }
    try {
        for (const QString& drop : drops)
            Exec(drop);
    } catch (const EDatabaseError&) {
        // Another role's table keeps its trigger: its writes are told twice, which is harmless.
    }
}

void PgConnection::Announce()
{
    // Others refresh the tables named; a lost announcement costs them only the wait for
    // their next refresh, so a failure here is not the write's.
    const QByteArray channel(ChangeChannel);
    for (const QString& table : std::exchange(m_announced, {})) {
        const QByteArray payload = (m_schema + QLatin1Char('.') + table).toUtf8();
        const char* values[] = {channel.constData(), payload.constData()};
        PQclear(PQexecParams(m_conn, "SELECT pg_notify($1, $2)", 2, nullptr, values, nullptr,
                             nullptr, 0));
    }
}

QStringList PgConnection::TakeChanges()
{
    QStringList tables;
    if (Depth() == 0) {
        // The server went away (a restart, a lost network): listen again as soon as it
        // answers, not at the user's next command. Until then this throws.
        if (!m_broken && PQconsumeInput(m_conn) == 0)
            m_broken = true;
        if (m_broken || PQstatus(m_conn) != CONNECTION_OK) {
            m_broken = true;
            EnsureConnected();
        }
    }
    if (PQconsumeInput(m_conn) == 0)
        return tables;
    if (m_missedChanges && Depth() == 0) {
        // What others wrote while the connection was lost was announced to nobody.
        m_missedChanges = false;
        Statement all(*this, QStringLiteral("SELECT relname FROM pg_class WHERE relkind IN "
                                            "('r', 'p') AND relnamespace = "
                                            "current_schema()::regnamespace"));
        while (all.Step())
            tables << all.Text(0);
    }
    const int self = PQbackendPID(m_conn);
    while (PGnotify* notify = PQnotifies(m_conn)) {
        // "schema.table": stores in other schemas of the database are none of ours.
        const QString payload = QString::fromUtf8(notify->extra);
        const QString table = payload.mid(m_schema.size() + 1);
        if (notify->be_pid != self && payload.startsWith(m_schema + QLatin1Char('.')) &&
            !tables.contains(table))
            tables << table;
        PQfreemem(notify);
    }
    return tables;
}

#pragma once

#include <QSet>
#include <QString>

#include <functional>
#include <memory>

#include "storage/engine/StoreConnection.h"

struct pg_conn;
struct pg_result;

// A database on a PostgreSQL server, named by a libpq connection string, holding the
// tables of one data folder. Case-insensitive keys go through the function ru_nocase,
// created with the first table: ICU lower case with ё placed after е and before ж, so the
// server orders and compares as RU_NOCASE does.
class PgConnection final : public StoreConnection
{
public:
    static constexpr const char* NoCaseFunction = "ru_nocase";
    // Committed writes of a table are announced on this channel with the table's name.
    static constexpr const char* ChangeChannel = "pellomar_changes";

    static std::shared_ptr<PgConnection> Open(const QString& connectionString, int busyTimeoutMs);
    // Why the server cannot be reached, in the words Open would throw; empty when it answers.
    // Touches no shared state, so another thread may ask while the window goes on.
    static QString Unreachable(const QString& connectionString);
    ~PgConnection() override;

    pg_conn* Handle() const { return m_conn; }
    // Counts the fresh connections made after a lost one; statements prepared on an earlier
    // connection are prepared again.
    int Generation() const { return m_generation; }
    // Before a command: a connection found lost is made afresh when no transaction is open
    // (settings and LISTEN again); inside a transaction the command fails with the loss.
    void EnsureConnected();
    int NextStatementNumber() { return ++m_nextStatement; }
    QString Host() const;

    bool IsServer() const override { return true; }
    std::unique_ptr<StoreStatement> Prepare(const QString& sql) override;
    QString FindTable(const QString& name) override;
    TableSchema::StoredLayout ReadNamedLayout(const QString& storedName) override;
    QStringList CreateStatements(const QString& table, const TFieldDefs& fields,
                                 const TIndexDefs& indexes) override;
    bool RunColumnStatement(const QString& sql) override;
    QString NamesAsStored(const QString& sql) override;
    QString RowidColumn(const TableSchema::StoredLayout& layout) const override;
    QString OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const override;
    QString KeyTerm(const QString& quotedColumn, bool noCase, bool numeric) const override;
    QString NullSafeEquals() const override;
    QString InsertReturning(const QString& columns) const override;
    qint64 LastInsertRowid() override;
    QStringList TakeChanges() override;

    // The store error of a failed result (or of the connection when result is null).
    EDatabaseError Error(const pg_result* result, const QString& sql) const;
    // Runs a statement of this connection, inside a savepoint of its own when a transaction
    // is open, so a refused write leaves the transaction usable as SQLite's does.
    // exec runs the statement; send only sends it (for a pipeline), empty for none.
    // written: the table the statement writes, announced to others; empty for none.
    pg_result* Run(const std::function<pg_result*()>& exec, const std::function<int()>& send,
                   const QString& sql, const QString& written);

protected:
    QString BeginStatement() const override;
    bool InTransaction() const override;

private:
    PgConnection(pg_conn* conn, QString where, int busyTimeoutMs);
    void Setup();
    void Simple(const char* sql);
    pg_result* RunInSavepoint(const std::function<int()>& send);
    // Tells the other connections which tables this one has written (NOTIFY).
    void Announce();
    void DropTriggerAnnouncements();
    // A column form or a dialog's statement with its names as stored; empty for another.
    QString NamesOfForm(const QString& sql);

    pg_conn* m_conn;
    QString m_schema; // where the tables are
    int m_nextStatement = 0;
    int m_busyTimeoutMs;
    int m_generation = 0;
    mutable bool m_broken =
        false; // the connection can no longer be used, though libpq thinks it can
    bool m_missedChanges = false; // announcements made while the connection was lost
    QSet<QString> m_announced;    // tables written by the open transaction, to announce
};

#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/Exception.h"
#include "storage/engine/FieldDefs.h"

class StoreObserver;
class StoreConnection;
namespace TableSchema {
struct StoredLayout;
}

// One prepared statement of an engine. Parameters are numbered from 1 and written ?1, ?2
// in the SQL text; columns are numbered from 0. Reset after every use so no read
// transaction lingers.
class StoreStatement
{
public:
    virtual ~StoreStatement() = default;
    virtual void BindNull(int index) = 0;
    virtual void BindText(int index, const QString& text) = 0; // an empty text binds NULL
    virtual void BindInt(int index, qint64 value) = 0;
    virtual void BindBlob(int index, QByteArrayView bytes) = 0;
    virtual bool Step() = 0; // true while a row is ready
    virtual void Reset() = 0;
    virtual bool IsNull(int column) const = 0;
    virtual qint64 Int(int column) const = 0; // a boolean reads as 0 or 1
    virtual QByteArrayView Utf8(int column) const = 0;
    virtual QByteArray Blob(int column) const = 0;
    virtual qint64 Changes() const = 0; // rows changed by the last run
    QString Text(int column) const
    {
        const QByteArrayView bytes = Utf8(column);
        return bytes.isNull() ? QString() : QString::fromUtf8(bytes);
    }
};

// A prepared statement of a store connection, owned by whoever prepared it.
class Statement
{
public:
    Statement() = default;
    Statement(StoreConnection& connection, const QString& sql);

    void BindNull(int index) { m_impl->BindNull(index); }
    void BindText(int index, const QString& text) { m_impl->BindText(index, text); }
    void BindInt(int index, qint64 value) { m_impl->BindInt(index, value); }
    void BindBlob(int index, QByteArrayView bytes) { m_impl->BindBlob(index, bytes); }
    bool Step() { return m_impl->Step(); }
    void Reset() { m_impl->Reset(); }
    bool IsNull(int column) const { return m_impl->IsNull(column); }
    qint64 Int(int column) const { return m_impl->Int(column); }
    QByteArrayView Utf8(int column) const { return m_impl->Utf8(column); }
    QString Text(int column) const { return m_impl->Text(column); }
    QByteArray Blob(int column) const { return m_impl->Blob(column); }
    qint64 Changes() const { return m_impl->Changes(); }

private:
    std::unique_ptr<StoreStatement> m_impl;
};

// The open store of one data folder, shared by every view of that folder: the SQLite
// file of the folder or, when the folder names one in server.conf, a PostgreSQL server.
// Everything the engines do differently is asked of this interface.
class StoreConnection
{
public:
    static constexpr const char* FileName = "store.sqlite3";
    static constexpr const char* ServerFileName = "server.conf";

    // Opens the folder's store; create: make the SQLite file when it is missing.
    // Returns nullptr when the file is missing and create is false.
    static std::shared_ptr<StoreConnection> Open(const QString& folder, bool create,
                                                 int busyTimeoutMs);
    // The folder's store opened to read layouts before anything is changed: the SQLite file
    // read-only, not a byte written to it, or the server as Open opens it. nullptr when the
    // file is missing or the store cannot be opened; throws when server.conf cannot be read.
    static std::shared_ptr<StoreConnection> OpenReadOnly(const QString& folder);
    // The connection string of the folder's server.conf; empty when the folder has none.
    static QString ServerConnectionString(const QString& folder);
    // A server by its connection string, whatever a folder names.
    static std::shared_ptr<StoreConnection> OpenServer(const QString& connectionString,
                                                       int busyTimeoutMs);
    // Why that server cannot be reached, in the words OpenServer would throw; empty when it
    // answers. Touches no shared state, so another thread may ask while the window goes on.
    static QString ServerUnreachable(const QString& connectionString);

    virtual ~StoreConnection() = default;
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    // Where the store is, as messages name it: the file path or the server and database.
    const QString& FilePath() const { return m_filePath; }
    virtual bool IsServer() const = 0;

    virtual std::unique_ptr<StoreStatement> Prepare(const QString& sql) = 0;
    void Exec(const QString& sql);
    QString QueryText(const QString& sql); // the first column of the first row

    // The stored name of a table spelled with any letter case and an optional ".db".
    virtual QString FindTable(const QString& name) = 0;
    static QString BareTableName(const QString& name);
    // A stored table's fields and indexes, under its stored name.
    virtual TableSchema::StoredLayout ReadNamedLayout(const QString& storedName) = 0;
    // The statements that create a table of that layout with its indexes.
    virtual QStringList CreateStatements(const QString& table, const TFieldDefs& fields,
                                         const TIndexDefs& indexes) = 0;
    // A statement of the column forms ("ALTER TABLE base ADD Fio100 CHAR(100)") as this
    // engine runs it; true when the engine ran it itself.
    virtual bool RunColumnStatement(const QString& sql) = 0;
    // An UPDATE or DELETE of one table, written with its names in any letter case, as this
    // engine takes it.
    virtual QString NamesAsStored(const QString& sql) { return sql; }

    // Dialect: the row identity of a table, an ORDER BY term, a comparison that holds
    // between two NULLs, the tail of an INSERT or UPDATE that returns the given columns of
    // the row written (empty where the engine returns none).
    virtual QString RowidColumn(const TableSchema::StoredLayout& layout) const = 0;
    virtual QString OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const = 0;
    // A key term for GROUP BY and indexes: equal for values the index takes as equal.
    virtual QString KeyTerm(const QString& quotedColumn, bool noCase, bool numeric) const = 0;
    virtual QString NullSafeEquals() const = 0;
    virtual QString InsertReturning(const QString& columns) const = 0;
    // The identity of the row the last INSERT wrote, when the INSERT returned none.
    virtual qint64 LastInsertRowid() = 0;

    // The tables other programs committed changes to since the last call, by stored name;
    // only a server announces them, so the SQLite store gives none.
    virtual QStringList TakeChanges() { return {}; }

    // A mark that stays equal while nothing is written to the store, through this connection
    // or another; none where the engine cannot tell, so a reader reads again.
    using ChangeMark = std::pair<qint64, qint64>;
    virtual std::optional<ChangeMark> CurrentChangeMark() { return std::nullopt; }

    void Begin();
    void Commit();
    void Rollback();
    int Depth() const { return m_depth; }

    void RegisterView(StoreObserver* view);
    void UnregisterView(StoreObserver* view);
    std::vector<StoreObserver*> Views() const { return m_views; }
    void CloseViews();                         // every view of the store
    void CloseViews(const QString& tableName); // every view of that table

protected:
    explicit StoreConnection(QString filePath);
    virtual QString BeginStatement() const = 0;
    virtual bool InTransaction() const = 0;
    void NotifyRolledBack();

private:
    QString m_filePath;
    int m_depth = 0;
    std::vector<StoreObserver*> m_views;
};

#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "storage/engine/StoreConnection.h"

struct sqlite3;
struct sqlite3_stmt;

// The store error for a SQLite result code, naming the store file.
EDatabaseError StoreError(sqlite3* db, int rc, const QString& filePath);

// One prepared SQLite statement.
class SqliteStatement final : public StoreStatement
{
public:
    SqliteStatement(sqlite3* db, const QString& sql, const QString& filePath);
    ~SqliteStatement() override;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    sqlite3_stmt* Handle() const { return m_stmt; }
    void BindNull(int index) override;
    void BindText(int index, const QString& text) override;
    void BindInt(int index, qint64 value) override;
    void BindBlob(int index, QByteArrayView bytes) override;
    bool Step() override;
    void Reset() override;
    bool IsNull(int column) const override;
    qint64 Int(int column) const override;
    QByteArrayView Utf8(int column) const override;
    QByteArray Blob(int column) const override;
    qint64 Changes() const override;

private:
    void CheckBind(int rc, int index);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_filePath;
    std::vector<QByteArray> m_scratch; // keeps bound texts and bytes alive until the next reset
};

// The SQLite file of one data folder.
class SqliteConnection final : public StoreConnection
{
public:
    static std::shared_ptr<SqliteConnection> Open(const QString& folder, bool create,
                                                  int busyTimeoutMs);
    // The folder's store file opened read-only, not a byte written to it; nullptr when there
    // is no file or it cannot be opened.
    static std::shared_ptr<SqliteConnection> OpenReadOnly(const QString& folder);
    // Wraps a handle opened elsewhere (a read-only look at a file); closes it at the end.
    SqliteConnection(sqlite3* db, QString filePath);
    ~SqliteConnection() override;

    sqlite3* Handle() const { return m_db; }

    bool IsServer() const override { return false; }
    std::unique_ptr<StoreStatement> Prepare(const QString& sql) override;
    QString FindTable(const QString& name) override;
    TableSchema::StoredLayout ReadNamedLayout(const QString& storedName) override;
    QStringList CreateStatements(const QString& table, const TFieldDefs& fields,
                                 const TIndexDefs& indexes) override;
    bool RunColumnStatement(const QString& sql) override;
    QString RowidColumn(const TableSchema::StoredLayout& layout) const override;
    QString OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const override;
    QString KeyTerm(const QString& quotedColumn, bool noCase, bool numeric) const override;
    QString NullSafeEquals() const override;
    QString InsertReturning(const QString& columns) const override;
    qint64 LastInsertRowid() override;
    std::optional<ChangeMark> CurrentChangeMark() override;

protected:
    QString BeginStatement() const override;
    bool InTransaction() const override;

private:
    void ReindexForCollation();

    sqlite3* m_db;
};

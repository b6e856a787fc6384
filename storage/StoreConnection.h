#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "core/Exception.h"

struct sqlite3;
struct sqlite3_stmt;
class StoreObserver;

// The store error for a SQLite result code, naming the store file.
EDatabaseError StoreError(sqlite3* db, int rc, const QString& filePath);

// One prepared statement; reset after every use so no read transaction lingers.
class Statement
{
public:
    Statement() = default;
    Statement(sqlite3* db, const QString& sql, const QString& filePath);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* Handle() const { return m_stmt; }
    void BindNull(int index);
    void BindText(int index, const QString& text);
    void BindInt(int index, qint64 value);
    bool Step(); // true while a row is ready
    void Reset();

private:
    void CheckBind(int rc, int index);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_filePath;
    std::vector<QByteArray> m_scratch; // keeps bound texts alive until the next reset
};

// The open SQLite database of one data folder, shared by every view of that folder.
class StoreConnection
{
public:
    static constexpr const char* FileName = "store.sqlite3";

    // Opens the folder's store; create: make the file when it is missing.
    // Returns nullptr when the file is missing and create is false.
    static std::shared_ptr<StoreConnection> Open(const QString& folder, bool create,
                                                 int busyTimeoutMs);
    ~StoreConnection();
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    sqlite3* Handle() const { return m_db; }
    const QString& FilePath() const { return m_filePath; }

    void Exec(const QString& sql);
    QString QueryText(const QString& sql); // the first column of the first row

    // The stored name of a table spelled with any letter case and an optional ".db".
    QString FindTable(const QString& name);
    static QString BareTableName(const QString& name);

    void Begin();
    void Commit();
    void Rollback();
    int Depth() const { return m_depth; }

    void RegisterView(StoreObserver* view);
    void UnregisterView(StoreObserver* view);
    std::vector<StoreObserver*> Views() const { return m_views; }
    void CloseViews();                         // every view of the store
    void CloseViews(const QString& tableName); // every view of that table

private:
    StoreConnection(sqlite3* db, QString filePath);
    void NotifyRolledBack();
    void ReindexForCollation();

    sqlite3* m_db;
    QString m_filePath;
    int m_depth = 0;
    std::vector<StoreObserver*> m_views;
};

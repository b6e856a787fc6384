#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>

class StoreConnection;

// Copies of a folder's store in its "backup/" folder (a server store's tables are copied
// into an SQLite file of the same kind), made with SQLite's backup API so a
// copy is whole even while another program writes. A copy is written under a temporary
// name and renamed when complete; a failure throws an Exception with a readable message.
class TStoreBackup final
{
public:
    static constexpr int DailyCopies = 14;
    static constexpr int ChangeCopies = 14;

    TStoreBackup() = delete;

    static QString Folder(const QString& dataFolder);

    // "store-<yyyyMMdd>.sqlite3" unless the folder holds today's copy; then only the newest
    // DailyCopies daily copies are kept. Returns the copy made, empty when none was needed
    // or the folder has no store.
    static QString MakeDaily(const QString& dataFolder, const QDate& today);

    // "store-<yyyyMMdd-HHmmss>.sqlite3", made before a start's first write; an existing copy
    // of that second is kept as it is, and only the newest ChangeCopies of these are kept.
    // Returns its path, empty when there is no store.
    static QString MakeBeforeChange(const QString& dataFolder, const QDateTime& now);

    // Copies the connection's database into a new file at target.
    static void Copy(StoreConnection& connection, const QString& target);

    // Rows copied so far and rows in all, told now and then during a copy to a server.
    using Progress = std::function<void(qint64 copied, qint64 total)>;

    // Copies the tables of a local store into a server database that holds neither, in one
    // transaction: the server gets every row or nothing. Refuses a server that has a table,
    // and a local store whose employee key waits for duplicates to be mended (the server
    // would hold them without a key).
    static void CopyToServer(StoreConnection& local, StoreConnection& server,
                             const Progress& progress = {});
    // Drops the tables from a server again, in one transaction: the way back from a copy
    // that the program could not go on to use.
    static void RemoveFromServer(StoreConnection& server);
};

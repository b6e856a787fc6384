#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class StoreConnection;
class TParadoxTable;

// Takes the old program's Paradox tables ("base.DB", "config.DB") over into the store of
// their folder, in the layout they have, so that the upgrade of older layouts brings them
// to the current one; then moves them and their companions aside into "paradox/".
class TParadoxTakeOver final
{
public:
    explicit TParadoxTakeOver(QString folder);

    // The clock that names the folder of a second copy set aside.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // The folder's Paradox file of a table ("base" finds "base.DB", "BASE.db"); empty when
    // there is none.
    static QString FindTableFile(const QString& folder, const QString& table);

    // Whether this start takes over: the folder holds "base.DB" and the store no rows of
    // either table (a take-over that failed left them empty, so the next start tries again).
    bool Due();

    // Copies both tables in one transaction and checks that the upgrade can bring them to
    // the current layouts and that no key is held twice; on any failure nothing is kept and
    // the error names the file and the reason. The files are moved aside after the commit:
    // returns the reason a move failed, empty when every file moved.
    QString Run();

    // Copies a table's fields that are carried over, with all its records, into a new table
    // of the store; no keys or indexes besides an auto-increment field's own.
    static void CopyTable(StoreConnection& connection, TParadoxTable& source, const QString& table);

private:
    QString MoveAside();

    QString m_folder;
};

#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "core/Exception.h"
#include "storage/engine/FieldDefs.h"
#include "storage/engine/TableSchema.h"

class StoreConnection;
class TQuery;
class TTable;

// Brings the tables of a folder, as older versions wrote them, to the current layouts.
// Column statements run through the given runner; each table's conversion is one
// transaction, so a failure leaves that table as it was; the store is copied to the backup
// folder before its first write. Afterwards a table has the current keys and indexes, and
// keeps its other fields with their values; a unique index that rows would break is made
// without uniqueness, and triggers refuse every write that would add another such row until
// the rows are mended and a later upgrade makes it unique.
class TTableUpgrade final
{
public:
    // A table that the upgrade could not bring to its current layout, and why, in words.
    struct Unusable
    {
        QString Table;
        QString Reason;
    };
    // Reads the folder's tables without writing to the store and finds the first that
    // neither is in the current layout nor would be brought to it: a field that the
    // upgrade does not make missing or of another kind, neither a name field nor its
    // older form, an older organisation field with nothing to carry it over from.
    // Missing tables and the keys and indexes that the upgrade makes stand in no way.
    static std::optional<Unusable> FindUnusable(const QString& folder);
    // The same for layouts read otherwise (tables not yet committed, say).
    static std::optional<Unusable> FindUnusable(
        const std::optional<TableSchema::StoredLayout>& employees,
        const std::optional<TableSchema::StoredLayout>& organizations);

    TTableUpgrade(QString folder, TQuery& runner);

    // Told when the copy before the first write could not be made; the upgrade goes on
    // without it.
    std::function<void(const Exception&)> OnBackupFailed;
    // The clock that names that copy.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // The employee table: the amount pass, then the name and organisation steps and the
    // keys. view names the table; it is closed on return.
    void UpgradeEmployees(TTable& view);

    // The organisation table, whose view is open: "Organization" is carried into
    // "Organization120" and the keys are made current. The view may be closed on return.
    void UpgradeOrganizations(TTable& view);

    // Rewrites every amount of the table in its normalised form, cut to the field's size,
    // writing only rows whose text changes, in one transaction that keeps the rows written
    // before a failure. Returns the number of rows written.
    int NormalizeAmounts(const QString& table);

    // Copies the store before the first write of this upgrade's start, once; later calls do
    // nothing. Whoever writes at start-up calls it before writing.
    void CopyBeforeFirstWrite();

    // Names and accounts that several employees share, letter case ignored, which keep the
    // unique key of the employee table away: the first limit of them in key order, each
    // with its fields as the first row of them holds them, and how many there are in all.
    // None while the unique key stands.
    struct Duplicates
    {
        QList<QStringList> Keys;
        int Count = 0;
    };
    Duplicates DuplicateEmployees(int limit);

    // The carry-over's choice for an old organisation value: the name equal to it, else the
    // first name that contains it; empty when none does. Letter case counts.
    static QString MatchOrganization(const QString& old, const QStringList& names);

    // Brings a table's keys and indexes to a layout: a changed primary key or field
    // declaration rebuilds the table, a missing or different index is made again. Fields
    // of the layout missing from the table are added; other fields stay with their values.
    static void ConformLayout(StoreConnection& connection, const QString& table,
                              const TFieldDefs& fields, const TIndexDefs& indexes);
    // Whether ConformLayout would change nothing.
    static bool IsConformed(StoreConnection& connection, const QString& table,
                            const TFieldDefs& fields, const TIndexDefs& indexes);

private:
    std::shared_ptr<StoreConnection> Connection() const;
    void Run(const QString& statement);
    QStringList OrganizationNames();
    void CarryOverOrganizations(const QString& table, const QStringList& names);

    QString m_folder;
    TQuery& m_runner;
    bool m_copyTried = false; // one copy before the first write
};

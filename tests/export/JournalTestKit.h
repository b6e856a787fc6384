#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>

#include "storage/layouts/RegisterJournal.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TQuery.h"
#include "tests/support/TestStore.h"

namespace JournalTestKit {

inline TRegisterJournal Journal()
{
    return TRegisterJournal(TPathBuilder::GetEmployeeDBPath());
}

// The journal oldest first, one "organisation|kind|file|employees|total|bytes" per row;
// bytes tells whether the kept bytes, their digest and the file in the out folder agree.
inline QStringList Rows()
{
    const TRegisterJournal journal = Journal();
    std::vector<TRegisterEntry> entries = journal.Entries();
    std::reverse(entries.begin(), entries.end());
    QStringList rows;
    for (const TRegisterEntry& entry : entries) {
        QFile file(TPathBuilder::GetOutPath() + entry.FileName);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QByteArray kept = journal.Content(entry.Id);
        const bool same =
            !bytes.isEmpty() && kept == bytes && entry.Sha256 == TRegisterJournal::Digest(bytes);
        rows << QStringLiteral("%1|%2|%3|%4|%5|%6")
                    .arg(entry.Org, entry.Kind, entry.FileName)
                    .arg(entry.Employees)
                    .arg(entry.Total,
                         same ? QStringLiteral("same bytes") : QStringLiteral("other bytes"));
    }
    return rows;
}

// The numbers of the journal, oldest first.
inline QList<qint64> Numbers()
{
    QList<qint64> numbers;
    for (const TRegisterEntry& entry : Journal().Entries())
        numbers.prepend(entry.Id);
    return numbers;
}

// Makes the store refuse every new journal row (or, with "UPDATE", every change of one), as a
// store that fails would.
inline void RefuseRows(const QString& event = QStringLiteral("INSERT"))
{
    TQuery query;
    query.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
    if (TestStore::IsServer()) {
        query.SQL =
            QStringLiteral("CREATE FUNCTION refuse_registers() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN RAISE EXCEPTION 'journal refused'; END $$");
        query.ExecSQL();
        query.SQL = QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON registers "
                                   "FOR EACH ROW EXECUTE FUNCTION refuse_registers()")
                        .arg(event);
    } else {
        query.SQL = QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON registers "
                                   "BEGIN SELECT RAISE(ABORT, 'journal refused'); END")
                        .arg(event);
    }
    query.ExecSQL();
}

} // namespace JournalTestKit

#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "storage/views/TTable.h"

class TTransaction;

// Adds imported employees through a view of the employee table, in one transaction that is
// ended while a message about a refused record waits for the user, so no other program
// waits on this one meanwhile. The amount is read as written ("1 500,50" is 1500.50). A
// record with a blank name or account, an amount that is no number, or a value longer than
// its field (a cut account is another person's account), is refused with a message; a row
// the table refuses (a duplicate) is dropped without one. A duplicate of an employee stored
// before the import, found by the key as the store matches it, is counted, and when its
// amount differs it is kept for ReplaceAmounts.
class EmployeeImport final
{
public:
    // beforeMessage runs before each message is shown (the window shows its progress).
    EmployeeImport(TTable& employees, std::function<void()> beforeMessage);
    ~EmployeeImport();
    EmployeeImport(const EmployeeImport&) = delete;
    EmployeeImport& operator=(const EmployeeImport&) = delete;

    // amount: the source's text; a text of whitespace only throws EEmptyAmount.
    void Add(const QString& name, const QString& account, const QString& amount,
             const QString& organization = QString(), bool exported = true);
    // Ends the transaction. Leaving the scope without it commits too; rows stored before
    // a failure stay.
    void Commit();

    // Employees added; stored already and left as they are; given the file's amount.
    int Added() const { return m_added; }
    int Unchanged() const { return m_unchanged; }
    int Updated() const { return m_updated; }
    // Stored employees the file gives another amount, not replaced yet.
    int Differing() const { return int(m_differing.size()); }

    // After Commit: writes the file's amounts over the differing employees and ticks their
    // export, in one transaction. An employee another user changed since the import read
    // it stays as it is; the result names those ("name account").
    QStringList ReplaceAmounts();

private:
    QString Refusal(const QString& name, const QString& account, const QString& amountText,
                    const QString& amount) const;

    void CountDuplicate(const QString& name, const QString& account, const QString& amount);

    struct Replacement
    {
        TTable::StoredRow stored;
        QString amount;
    };

    TTable& m_table;
    TField m_fio;
    TField m_accnt;
    TField m_amount;
    TField m_org;
    TField m_exported;
    std::function<void()> m_beforeMessage;
    std::unique_ptr<TTransaction> m_transaction;
    int m_added = 0;
    int m_unchanged = 0;
    int m_updated = 0;
    std::unordered_set<qint64> m_seen; // rows this import stored or counted
    std::vector<Replacement> m_differing;
};

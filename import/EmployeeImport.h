#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "storage/TTable.h"

class TTransaction;

// Adds imported employees through a view of the employee table, in one transaction that is
// ended while a message about a refused record waits for the user, so no other program
// waits on this one meanwhile. The amount is read as written ("1 500,50" is 1500.50). A
// record with a blank name or account, an amount that is no number, or a value longer than
// its field (a cut account is another person's account), is refused with a message; a row
// the table refuses (a duplicate) is dropped without one.
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

private:
    QString Refusal(const QString& name, const QString& account, const QString& amountText,
                    const QString& amount) const;

    TTable& m_table;
    TField m_fio;
    TField m_accnt;
    TField m_amount;
    TField m_org;
    TField m_exported;
    std::function<void()> m_beforeMessage;
    std::unique_ptr<TTransaction> m_transaction;
};

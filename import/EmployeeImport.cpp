#include "import/EmployeeImport.h"

#include "amount/Amount.h"
#include "core/Exception.h"
#include "storage/Layouts.h"
#include "storage/TTransaction.h"
#include "ui/Messages.h"

namespace {

// A refusal of the row itself: nothing of the row was stored. Any other store failure ends
// the import.
bool RefusesRowOnly(const EDatabaseError& error)
{
    return error.IsKeyViolation() || error.ErrorKind() == EDatabaseError::Kind::RequiredBlank;
}

} // namespace

EmployeeImport::EmployeeImport(TTable& employees, std::function<void()> beforeMessage)
    : m_table(employees), m_fio(employees.FieldByName(Layouts::FioField)),
      m_accnt(employees.FieldByName(Layouts::AccntField)),
      m_amount(employees.FieldByName(Layouts::AmountField)),
      m_org(employees.FieldByName(Layouts::OrgField)),
      m_exported(employees.FieldByName(Layouts::ExportField)),
      m_beforeMessage(std::move(beforeMessage)),
      m_transaction(std::make_unique<TTransaction>(employees.DatabaseName(),
                                                   TTransaction::Mode::KeepDone))
{
}

EmployeeImport::~EmployeeImport() = default;

QString EmployeeImport::Refusal(const QString& name, const QString& account,
                                const QString& amountText, const QString& amount) const
{
    const int accountSize = m_accnt.Size();
    const int amountSize = m_amount.Size();
    if (name.isEmpty() || account.isEmpty() || (accountSize > 0 && account.size() > accountSize))
        return QStringLiteral("Неверные данные: ") + name + QLatin1Char(' ') + account;
    if (amount.isNull())
        return QStringLiteral("Неверные данные: сумма «%1» не является числом (%2 %3)")
            .arg(amountText, name, account);
    if (amountSize > 0 && amount.size() > amountSize)
        return QStringLiteral("Неверные данные: сумма %1 длиннее %2 знаков (%3 %4)")
            .arg(amount)
            .arg(amountSize)
            .arg(name, account);
    return QString();
}

void EmployeeImport::Add(const QString& name, const QString& account, const QString& amountText,
                         const QString& organization, bool exported)
{
    const QString amount = Amount::ReadWrittenAmount(amountText);
    const QString refusal = Refusal(name, account, amountText, amount);
    if (!refusal.isEmpty()) {
        m_transaction->Commit();
        m_transaction.reset();
        if (m_beforeMessage)
            m_beforeMessage();
        Messages::ShowMessage(refusal, QStringLiteral("2"));
        m_transaction =
            std::make_unique<TTransaction>(m_table.DatabaseName(), TTransaction::Mode::KeepDone);
        return;
    }
    // One INSERT, which SQLite backs out alone when it fails: no savepoint is needed.
    try {
        m_table.Insert();
        m_fio.SetAsString(name);
        m_accnt.SetAsString(account);
        m_amount.SetAsString(amount);
        m_org.SetAsString(organization);
        m_exported.SetAsBoolean(exported);
        m_table.Post();
    } catch (const EDatabaseError& error) {
        m_table.Cancel();
        if (!RefusesRowOnly(error))
            throw;
    }
}

void EmployeeImport::Commit()
{
    m_transaction->Commit();
}

#include "import/EmployeeImport.h"

#include "amount/Amount.h"
#include "core/Exception.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTransaction.h"
#include "ui/Messages.h"

namespace {

// A refusal of the row itself: nothing of the row was stored. Any other store failure ends
// the import.
bool RefusesRowOnly(const EDatabaseError& error)
{
    return error.IsKeyViolation() || error.ErrorKind() == EDatabaseError::Kind::RequiredBlank;
}

bool SameAmount(const QString& stored, const QString& amount)
{
    if (stored == amount)
        return true;
    // A stored amount written another way ("1500") is the same when it reads as the same.
    const bool blanksOnly = !stored.isEmpty() && stored.trimmed().isEmpty();
    return !blanksOnly && Amount::ReadWrittenAmount(stored) == amount;
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
        if (error.IsKeyViolation() &&
            error.IndexName().compare(QLatin1String(Layouts::EmployeeIndex),
                                      Qt::CaseInsensitive) == 0)
            CountDuplicate(name, account, amount);
        return;
    }
    ++m_added;
    m_seen.insert(m_table.InsertedRowid());
}

void EmployeeImport::CountDuplicate(const QString& name, const QString& account,
                                    const QString& amount)
{
    const std::optional<TTable::StoredRow> stored =
        m_table.FindByKey(QLatin1String(Layouts::EmployeeIndex), {name, account});
    if (!stored)
        return;
    ++m_unchanged;
    // A second record of an employee this import has gone through changes nothing: the
    // first one stands, as it does for a new employee.
    if (!m_seen.insert(stored->Rowid).second)
        return;
    if (!SameAmount(stored->Values[std::size_t(m_amount.Index())], amount))
        m_differing.push_back({*stored, amount});
}

QStringList EmployeeImport::ReplaceAmounts()
{
    QStringList changedMeanwhile;
    int updated = 0;
    TTransaction transaction(m_table.DatabaseName());
    for (const Replacement& replacement : m_differing) {
        try {
            m_table.UpdateStoredRow(replacement.stored, {{m_amount.Index(), replacement.amount},
                                                         {m_exported.Index(), true}});
            ++updated;
        } catch (const EDatabaseError& error) {
            if (error.ErrorKind() != EDatabaseError::Kind::RecordChanged)
                throw;
            const std::vector<QString>& values = replacement.stored.Values;
            changedMeanwhile << values[std::size_t(m_fio.Index())] + QLatin1Char(' ') +
                                    values[std::size_t(m_accnt.Index())];
        }
    }
    transaction.Commit();
    m_updated += updated;
    m_unchanged -= updated;
    m_differing.clear();
    return changedMeanwhile;
}

void EmployeeImport::Commit()
{
    m_transaction->Commit();
}

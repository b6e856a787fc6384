#include "app/SelectionPass.h"

#include <QScopeGuard>

#include <utility>

#include "core/Exception.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"

namespace SelectionPass {

namespace {

QString Employee(TTable& employees)
{
    const QString fio = employees.FieldByName(Layouts::FioField).AsString();
    const QString accnt = employees.FieldByName(Layouts::AccntField).AsString();
    return accnt.isEmpty() ? QStringLiteral("Сотрудник %1").arg(fio)
                           : QStringLiteral("Сотрудник %1, счет %2").arg(fio, accnt);
}

QString NoneChanged(int count)
{
    return QStringLiteral("Команда не выполнена: ни один из выбранных сотрудников (%1) не "
                          "изменен.")
        .arg(count);
}

} // namespace

void Apply(TTable& employees, const QList<qint64>& rowids, const Change& change)
{
    // Stored before the transaction, so that a refusal later on cannot take it back.
    if (employees.GetState() != TTable::State::Browse) {
        if (employees.Modified())
            employees.Post();
        else
            employees.Cancel();
    }
    const qint64 current = employees.CurrentRowid();
    // A refusal ends the whole command here, with one message, instead of being told per row.
    const TTable::ErrorHook postError = std::exchange(employees.OnPostError, nullptr);
    const auto restore = qScopeGuard([&] { employees.OnPostError = postError; });

    const int count = int(rowids.size());
    QString failure;
    QString employee;
    try {
        TTransaction transaction(employees.DatabaseName(), TTransaction::Mode::Atomic);
        try {
            for (const qint64 rowid : rowids) {
                employee.clear();
                if (!employees.LocateRowid(rowid))
                    throw employees.RecordChangedError();
                employee = Employee(employees);
                employees.Edit();
                change(employees);
                employees.Post();
            }
        } catch (...) {
            employees.Cancel(); // before the rollback re-reads the rows
            throw;
        }
        employee.clear();
        transaction.Commit();
    } catch (const EAbort&) {
        // The rule that refused the row has said why.
        failure = (employee.isEmpty() ? QString() : employee + QStringLiteral(" не сохранен. ")) +
                  NoneChanged(count);
    } catch (const Exception& error) {
        failure = (employee.isEmpty() ? QString() : employee + QStringLiteral(": ")) +
                  error.Message() + QStringLiteral("\n\n") + NoneChanged(count);
    }
    if (current >= 0 && employees.Active())
        employees.LocateRowid(current);
    if (!failure.isEmpty())
        throw Exception(failure);
}

} // namespace SelectionPass

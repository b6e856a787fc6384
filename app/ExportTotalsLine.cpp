#include "app/ExportTotalsLine.h"

#include <QHash>
#include <QTimer>

#include <limits>

#include "storage/Layouts.h"
#include "storage/TTable.h"
#include "ui/MainViews.h"
#include "ui/TDataSource.h"

namespace {

// ExportData::ReadAmount's message for an amount it cannot read.
QString ReadingFailure(const QString& amountText, const QString& employeeName)
{
    try {
        ExportData::ReadAmount(amountText, employeeName);
    } catch (const EConvertError& error) {
        return error.Message();
    }
    return {};
}

} // namespace

QString ExportTotals::Text() const
{
    if (!Failure.isEmpty())
        return Failure;
    return QStringLiteral("Отмечено: %1, сумма %2").arg(Employees).arg(Sum.toString());
}

ExportTotals ComputeExportTotals(TTable& employees, TTable& organisations, const QString& choice)
{
    ExportTotals totals;
    const bool all = choice == ExportData::AllOrganizations;
    // The organisations "Все" covers, each with its place in the export's order.
    QHash<QString, int> covered;
    if (all) {
        const int name = organisations.FieldByName(Layouts::OrgNameField).Index();
        const int count = organisations.RecordCount();
        covered.reserve(count);
        for (int row = 0; row < count; ++row)
            covered.insert(organisations.CellText(row, name), row);
    } else if (ExportData::OrganisationRow(organisations, choice) < 0) {
        totals.Failure = QStringLiteral("Организация не найдена");
        return totals;
    }

    const int fio = employees.FieldByName(Layouts::FioField).Index();
    const int amount = employees.FieldByName(Layouts::AmountField).Index();
    int unreadable = 0;
    int firstAt = std::numeric_limits<int>::max(); // the place of the first one's organisation
    QString first;
    QString overflow;
    ExportData::ForEachListedRow(employees, [&](int row, const QString& org) {
        int place = 0;
        if (all) {
            const auto found = covered.constFind(org);
            if (found == covered.cend())
                return;
            place = *found;
        } else if (org != choice) {
            return;
        }
        const QString text = employees.CellText(row, amount);
        ExportData::Money money;
        try {
            // The name is read only for the message: one string less to touch per row.
            money = ExportData::ReadAmount(text, QString());
        } catch (const EConvertError&) {
            // Named: the one the export meets first, its organisations taken in their order.
            ++unreadable;
            if (place < firstAt) {
                firstAt = place;
                first = ReadingFailure(text, employees.CellText(row, fio));
            }
            return;
        }
        try {
            totals.Sum += money;
            ++totals.Employees;
        } catch (const EConvertError& error) {
            overflow = error.Message();
        }
    });
    if (unreadable > 1)
        totals.Failure = QStringLiteral("%1 (и ещё %2)").arg(first).arg(unreadable - 1);
    else if (unreadable == 1)
        totals.Failure = first;
    else
        totals.Failure = overflow;
    return totals;
}

TExportTotalsLine::TExportTotalsLine(const MainViews& views, TDataSource* employees,
                                     TDataSource* organisations, QWidget* parent)
    : QLabel(parent), m_views(views)
{
    setObjectName(QStringLiteral("ExportTotalsLine"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    Follow(employees, m_employeeConnections);
    Follow(organisations, m_orgConnections);
}

TExportTotalsLine::~TExportTotalsLine() = default;

void TExportTotalsLine::Follow(TDataSource* source, QList<QMetaObject::Connection>& connections)
{
    const auto watch = [this, source, &connections] {
        for (const QMetaObject::Connection& connection : connections)
            disconnect(connection);
        connections.clear();
        if (TTable* table = source->DataSet()) {
            connections << connect(table, &TTable::RowsChanged, this, &TExportTotalsLine::Schedule)
                        << connect(table, &TTable::RowChanged, this, &TExportTotalsLine::Schedule)
                        << connect(table, &TTable::StateChanged, this,
                                   &TExportTotalsLine::Schedule);
        }
        Schedule();
    };
    connect(source, &TDataSource::DataSetReplaced, this, watch);
    watch();
}

void TExportTotalsLine::Schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &TExportTotalsLine::UpdateNow);
}

void TExportTotalsLine::UpdateNow()
{
    m_scheduled = false;
    TTable* employees = m_views.EmployeeTable();
    TTable* organisations = m_views.OrgTable();
    if (!employees || !employees->Active() || !organisations || !organisations->Active()) {
        clear(); // the window says why the tables are closed
        return;
    }
    ExportTotals totals;
    try {
        totals = ComputeExportTotals(*employees, *organisations, m_views.OrgBoxExportText());
    } catch (const Exception& error) {
        totals.Failure = error.Message();
    }
    QPalette colours;
    if (!totals.Failure.isEmpty())
        colours.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    setPalette(colours);
    setText(totals.Text());
}

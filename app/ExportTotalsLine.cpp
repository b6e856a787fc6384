#include "app/ExportTotalsLine.h"

#include <QHash>
#include <QTimer>

#include <limits>

#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
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

void TExportTotalsRows::Invalidate()
{
    m_valid = false;
    m_dirty.clear();
}

void TExportTotalsRows::RowChanged(int row)
{
    if (m_valid)
        m_dirty.push_back(row);
}

TExportTotalsRows::Row TExportTotalsRows::Read(TTable& employees, int row)
{
    Row read;
    const QString org = employees.CellText(row, m_orgField);
    read.Listed = employees.CellBoolean(row, m_flagField) && !org.isEmpty();
    if (!read.Listed)
        return read;
    const auto known = m_orgIds.constFind(org);
    read.Org = known != m_orgIds.cend() ? *known : int(m_orgIds.size());
    if (known == m_orgIds.cend())
        m_orgIds.insert(org, read.Org);
    try {
        read.Cents = ExportData::ReadAmount(employees.CellText(row, m_amountField), QString())
                         .Cents();
    } catch (const EConvertError&) {
        read.Unreadable = true;
    }
    return read;
}

ExportTotals TExportTotalsRows::Compute(TTable& employees, TTable& organisations,
                                        const QString& choice)
{
    const int count = employees.RecordCount();
    if (!m_valid || int(m_rows.size()) != count) {
        m_flagField = employees.FieldByName(Layouts::ExportField).Index();
        m_orgField = employees.FieldByName(Layouts::OrgField).Index();
        m_amountField = employees.FieldByName(Layouts::AmountField).Index();
        m_orgIds.clear();
        m_rows.resize(std::size_t(count));
        for (int row = 0; row < count; ++row)
            m_rows[std::size_t(row)] = Read(employees, row);
        m_valid = true;
    } else {
        for (const int row : m_dirty) {
            if (row >= 0 && row < count)
                m_rows[std::size_t(row)] = Read(employees, row);
        }
    }
    m_dirty.clear();

    ExportTotals totals;
    // Each organisation's place in the export's order; -1 where the choice does not reach.
    std::vector<int> place(std::size_t(m_orgIds.size()), -1);
    if (choice == ExportData::AllOrganizations) {
        const int name = organisations.FieldByName(Layouts::OrgNameField).Index();
        for (int row = 0; row < organisations.RecordCount(); ++row) {
            const int id = m_orgIds.value(organisations.CellText(row, name), -1);
            if (id >= 0)
                place[std::size_t(id)] = row;
        }
    } else if (ExportData::OrganisationRow(organisations, choice) < 0) {
        totals.Failure = QStringLiteral("Организация не найдена");
        return totals;
    } else if (const int id = m_orgIds.value(choice, -1); id >= 0) {
        place[std::size_t(id)] = 0;
    }

    int unreadable = 0;
    int firstAt = std::numeric_limits<int>::max();
    int firstRow = -1;
    QString overflow;
    for (int row = 0; row < count; ++row) {
        const Row& r = m_rows[std::size_t(row)];
        if (!r.Listed || place[std::size_t(r.Org)] < 0)
            continue;
        if (r.Unreadable) {
            ++unreadable;
            if (place[std::size_t(r.Org)] < firstAt) {
                firstAt = place[std::size_t(r.Org)];
                firstRow = row;
            }
            continue;
        }
        try {
            totals.Sum += ExportData::Money::FromCents(r.Cents);
            ++totals.Employees;
        } catch (const EConvertError& error) {
            overflow = error.Message();
        }
    }
    if (unreadable > 0) {
        const int fio = employees.FieldByName(Layouts::FioField).Index();
        const QString first = ReadingFailure(employees.CellText(firstRow, m_amountField),
                                             employees.CellText(firstRow, fio));
        totals.Failure =
            unreadable > 1 ? QStringLiteral("%1 (и ещё %2)").arg(first).arg(unreadable - 1) : first;
    } else {
        totals.Failure = overflow;
    }
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
        // The employees' rows are kept in step row by row; any change of the organisations
        // only changes which of them the choice reaches.
        const bool employeeRows = &connections == &m_employeeConnections;
        if (employeeRows)
            m_rows.Invalidate();
        if (TTable* table = source->DataSet()) {
            connections << connect(table, &TTable::RowsChanged, this, [this, employeeRows] {
                if (employeeRows)
                    m_rows.Invalidate();
                Schedule();
            }) << connect(table, &TTable::RowChanged, this, [this, employeeRows](int row) {
                if (employeeRows)
                    m_rows.RowChanged(row);
                Schedule();
            }) << connect(table, &TTable::StateChanged, this, [this, table, employeeRows] {
                if (employeeRows)
                    m_rows.RowChanged(table->CurrentRow());
                Schedule();
            });
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
        totals = m_rows.Compute(*employees, *organisations, m_views.OrgBoxExportText());
    } catch (const Exception& error) {
        m_rows.Invalidate();
        totals.Failure = error.Message();
    }
    QPalette colours;
    if (!totals.Failure.isEmpty())
        colours.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    setPalette(colours);
    setText(totals.Text());
}

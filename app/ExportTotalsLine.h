#pragma once

#include <QHash>
#include <QLabel>
#include <QList>
#include <QMetaObject>

#include <vector>

#include "export/ExportData.h"

class MainViews;
class TDataSource;
class TTable;

// What an export for a choice of the export selector would write: how many employees and
// their total, or the message with which the export would stop.
struct ExportTotals
{
    int Employees = 0;
    ExportData::Money Sum;
    QString Failure;

    // «Отмечено: N, сумма S», or the failure.
    QString Text() const;
};

// Reads the rows of both views as shown, moving neither: the employees and organisations
// matched as the exports match them, amounts read by ExportData::ReadAmount. Unreadable
// amounts are told by the one the export meets first (organisations in their order, then
// employees) and how many more there are.
ExportTotals ComputeExportTotals(TTable& employees, TTable& organisations, const QString& choice);

// The employee view's rows reduced to what the totals need (amount in cents, organisation,
// listed or not), kept in step with the view one row at a time: after a change of a few rows
// or of the choice, the totals cost a pass over this array, not over the view's texts. Rows
// are read again when the view tells that rows were added, removed or moved.
class TExportTotalsRows
{
public:
    void Invalidate();
    void RowChanged(int row);
    // The same as ComputeExportTotals on the same views and choice.
    ExportTotals Compute(TTable& employees, TTable& organisations, const QString& choice);

private:
    struct Row
    {
        qint64 Cents = 0;
        int Org = -1;        // in m_orgNames
        bool Listed = false; // ticked, with an organisation
        bool Unreadable = false;
    };
    Row Read(TTable& employees, int row);

    std::vector<Row> m_rows;
    std::vector<int> m_dirty;
    QHash<QString, int> m_orgIds;
    bool m_valid = false;
    int m_flagField = -1;
    int m_orgField = -1;
    int m_amountField = -1;
};

// The line under the main window's grid with the totals of the export selector's choice. It
// follows every change of both views and of the choice; a burst of changes (a pass over every
// row) updates it once, when the program is idle again.
class TExportTotalsLine final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY(TExportTotalsLine)

public:
    // The views and the choice are asked from views at each update; the data sources tell
    // when they change.
    TExportTotalsLine(const MainViews& views, TDataSource* employees, TDataSource* organisations,
                      QWidget* parent = nullptr);
    ~TExportTotalsLine() override;

    void Schedule();
    void UpdateNow();

private:
    void Follow(TDataSource* source, QList<QMetaObject::Connection>& connections);

    const MainViews& m_views;
    TExportTotalsRows m_rows;
    QList<QMetaObject::Connection> m_employeeConnections;
    QList<QMetaObject::Connection> m_orgConnections;
    bool m_scheduled = false;
};

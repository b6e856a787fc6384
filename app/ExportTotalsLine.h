#pragma once

#include <QLabel>
#include <QList>
#include <QMetaObject>

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
    QList<QMetaObject::Connection> m_employeeConnections;
    QList<QMetaObject::Connection> m_orgConnections;
    bool m_scheduled = false;
};

#pragma once

#include <QString>

class TTable;

// What the dialogs take from the main window, asked at the moment they need it.
class MainViews
{
public:
    virtual ~MainViews() = default;
    virtual TTable* OrgTable() const = 0;
    virtual TTable* EmployeeTable() const = 0;
    virtual QString OrgBoxExportText() const = 0;
};

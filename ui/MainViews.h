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
    // Closes every view and opens the tables again from the folder's store, as at start
    // (after the store moved to a server).
    virtual void ReopenTables() = 0;
};

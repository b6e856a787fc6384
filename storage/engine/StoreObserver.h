#pragma once

#include <QString>

// A view of a store's table as its connection sees it: told after a rollback and when
// the store closes it, without the connection knowing the view class.
class StoreObserver
{
public:
    // The rows the view holds may no longer be stored.
    virtual void StoreRolledBack() = 0;
    // The view must close (close-all, or a statement about to change its table).
    virtual void StoreClosing() = 0;
    // Whether the view shows the table of that name (any letter case, optional ".db").
    virtual bool ShowsTable(const QString& name) const = 0;

protected:
    ~StoreObserver() = default;
};

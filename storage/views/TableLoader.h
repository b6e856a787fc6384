#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include "storage/engine/FieldDefs.h"
#include "storage/views/TableRows.h"
#include "storage/views/ViewLayout.h"

class StoreConnection;

// Reads an open view's table: its layout, then its rows in the order of the view's index,
// keeping the store's change mark of the read so a refresh can tell whether to read again.
class TableLoader final
{
public:
    // The layout of the table; fieldDefs and indexDefs take it as a view's configuration
    // shows it.
    static ViewLayout ReadLayout(StoreConnection& connection, const QString& tableName,
                                 TFieldDefs& fieldDefs, TIndexDefs& indexDefs);

    TableLoader(StoreConnection& connection, const ViewLayout& layout);
    TableLoader(const TableLoader&) = delete;
    TableLoader& operator=(const TableLoader&) = delete;

    // The order of the index of that name; the primary key's for an empty name, the rowid
    // order when there is none.
    void BuildOrder(const QString& indexName);
    void LoadRows(TableRows& rows);
    // True when the store tells that nothing was written since the last LoadRows.
    bool RowsUnchanged() const;

private:
    StoreConnection& m_connection;
    const ViewLayout& m_layout;
    std::vector<TableRows::KeyPart> m_order;
    std::optional<std::pair<qint64, qint64>> m_rowsMark; // the store's change mark at the read
};

#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/Exception.h"

class Statement;
class StoreConnection;
struct ViewLayout;

// Writes the rows of an open view's table through SQL. A write names its row by the rowid
// and by the values read of the fields it checks, so a row changed or deleted meanwhile by
// someone else is refused rather than overwritten; the statements are prepared once and kept.
class RowWriter final
{
public:
    // A row as the store holds it, read past the view's rows: its identity and its values
    // in field order.
    struct StoredRow
    {
        qint64 Rowid = -1;
        std::vector<QString> Values;
    };

    // The refusal of a write to a row of that table that another user changed or deleted.
    static EDatabaseError RecordChangedError(const QString& storedName);

    RowWriter(StoreConnection& connection, const ViewLayout& layout);
    ~RowWriter();
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // Writes the fields of mask to the row rowid whose fields of checked still hold the
    // values read; stored takes the row as the store holds it after the write.
    void UpdateRow(qint64 rowid, const QString* read, const QString* values,
                   unsigned long long mask, unsigned long long checked, QString* stored);
    // Adds a row of values (the rowid alias left to the store) and returns its identity;
    // stored takes the row as stored where the engine returns it or readBack asks for it.
    qint64 InsertRow(const QString* values, bool readBack, QString* stored);
    // Deletes the row rowid whose key fields still hold the values of row.
    void DeleteRow(qint64 rowid, const QString* row);
    // The stored row whose fields of that index equal the values given, compared as the
    // index compares them (letter case aside where it ignores case); none when absent.
    std::optional<StoredRow> FindByKey(const QString& indexName, const QStringList& values);

private:
    int FieldCount() const;
    bool ReadStoredRow(qint64 rowid, QString* values); // false when the row is gone
    QString SameValueCondition(int field, int parameter) const;
    void ReadValues(const Statement& stmt, int firstColumn, QString* values) const;
    QString KeyViolationIndex(const QString& columns) const;
    EDatabaseError Translated(const EDatabaseError& error) const;
    void BindValue(Statement& statement, int parameter, const QString& value, int field) const;
    Statement& UpdateStatement(unsigned long long mask, unsigned long long checked);

    StoreConnection& m_connection;
    const ViewLayout& m_layout;

    // By the fields written and the fields that name the row.
    std::map<std::pair<unsigned long long, unsigned long long>, std::unique_ptr<Statement>>
        m_updates;
    std::map<QString, std::unique_ptr<Statement>> m_keyFinds; // by index name
    std::unique_ptr<Statement> m_insert;
    std::unique_ptr<Statement> m_delete;
    std::unique_ptr<Statement> m_select;
};

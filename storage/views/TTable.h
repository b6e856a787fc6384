#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/Exception.h"
#include "storage/engine/FieldDefs.h"
#include "storage/engine/StoreObserver.h"
#include "storage/views/RowWriter.h"
#include "storage/views/TableRows.h"
#include "storage/views/ViewLayout.h"

class StoreConnection;
class TableLoader;
class TTable;

// A field of the current row of a view, reached by name; a light handle, copy freely.
class TField
{
public:
    TField(TTable* table, int index) : m_table(table), m_index(index) {}

    int Index() const { return m_index; }
    QString FieldName() const;
    TFieldType DataType() const;
    int Size() const;
    bool Required() const;

    bool IsNull() const;
    QString AsString() const; // blank reads as empty text
    bool AsBoolean() const;   // blank reads as false
    QVariant Value() const;   // blank reads as a null QVariant

    void SetAsString(const QString& value); // empty text stores blank; longer text is cut
    void SetAsBoolean(bool value);
    void SetValue(const QVariant& value);
    void Clear();

private:
    TTable* m_table;
    int m_index;
};

// A view of one table: the table's rows in index order held in memory, a current row and
// a state. Reads and navigation never touch the disk; writes go through SQL at once.
class TTable : public QObject, private StoreObserver
{
    Q_OBJECT

public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };
    enum class DataAction
    {
        Fail,
        Abort,
        Retry
    };

    using Hook = std::function<void(TTable&)>;
    using ErrorHook = std::function<void(TTable&, const EDatabaseError&, DataAction&)>;

    explicit TTable(QObject* parent = nullptr);
    ~TTable() override;

    // Configuration, while closed.
    void SetDatabaseName(const QString& folder);
    const QString& DatabaseName() const { return m_folder; }
    void SetTableName(const QString& name);
    const QString& TableName() const { return m_tableName; }
    void SetIndexName(const QString& name);
    const QString& IndexName() const { return m_indexName; }
    TFieldDefs& FieldDefs() { return m_fieldDefs; }
    TIndexDefs& IndexDefs() { return m_indexDefs; }

    bool Exists() const;
    void CreateTable();

    // Rows read at the first access that needs them rather than at Open: a view that only
    // inserts rows never holds a copy of the table. Set while closed.
    void SetRowsOnDemand(bool onDemand);
    void Open();
    void Close(); // drops an unwritten change
    bool Active() const { return m_state != State::Inactive; }
    State GetState() const { return m_state; }

    // Navigation. Leaving a row in edit or insert first stores it (if changed) or drops it.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const { return RecordCount() == 0; }
    int RecordCount() const;
    int RecNo() const; // 1-based; 0 on an empty view
    void SetRecNo(int recNo);
    int CurrentRow() const; // 0-based, -1 when empty
    // The current row's identity in the store, -1 when there is none (empty, or an insert).
    qint64 CurrentRowid() const;
    // Makes the row of that identity current; false, and nothing moves, when it is not shown.
    bool LocateRowid(qint64 rowid);
    // The identity of a displayed row, -1 for an inserted row or outside the rows.
    qint64 RowidAt(int row) const;

    // Fields.
    int FieldCount() const { return m_layout.FieldCount(); }
    QStringList FieldNames() const;
    int FindField(const QString& name) const; // -1 when missing
    TField FieldByName(const QString& name);
    TField Fields(int index);
    const TFieldDef& FieldDef(int index) const { return m_layout.fields[std::size_t(index)].def; }

    // Editing.
    void Edit(); // on a view without rows starts an insert
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Stores a pending change (drops an unchanged one), then re-reads the rows unless the
    // store tells that nothing was written since they were read.
    void Refresh();
    bool Modified() const { return m_modifiedMask != 0; }
    bool FieldModified(int field) const { return (m_modifiedMask >> field) & 1u; }

    // Hooks.
    Hook BeforePost;
    Hook AfterInsert;
    ErrorHook OnPostError;

    // Read access by row for grids; the current row shows its pending values.
    int DisplayRowCount() const;
    QString CellText(int row, int field) const;
    bool CellBoolean(int row, int field) const;

    // A row as the store holds it, read past the view's rows: its identity and its values
    // in field order.
    using StoredRow = RowWriter::StoredRow;
    // The stored row whose fields of that index equal the values given, compared as the
    // index compares them (letter case aside where it ignores case); none when absent.
    std::optional<StoredRow> FindByKey(const QString& indexName, const QStringList& values);
    // Writes new values (field index and value, as SetValue takes them) to a row found by
    // FindByKey, naming it by every value read: a row changed or deleted since is refused
    // with RecordChangedError and left as it is.
    void UpdateStoredRow(const StoredRow& read,
                         const std::vector<std::pair<int, QVariant>>& values);
    // The identity of the row the last insert stored through this view; -1 before any.
    qint64 InsertedRowid() const { return m_insertedRowid; }

    // Re-reads the snapshot without storing anything (after a rolled back transaction).
    void Reload();
    // The refusal of a write to a row that another user changed or deleted meanwhile.
    EDatabaseError RecordChangedError() const;

Q_SIGNALS:
    void StateChanged();
    void CurrentChanged();
    void RowChanged(int row); // values of one displayed row changed
    void RowsChanged();       // rows added, removed or reordered

private:
    friend class TField;

    void StoreRolledBack() override { Reload(); }
    void StoreClosing() override { Close(); }
    bool ShowsTable(const QString& name) const override;

    using FieldInfo = ViewLayout::FieldInfo;

    void CheckActive() const;
    void RowsNeeded() const;
    void ReadRowsNow();
    const TFieldDef& CheckedField(int field) const; // throws on a closed view or a bad index
    void CheckBrowse();
    void RequireRows(const char* action) const;
    void ReloadRows(bool read);
    QString ReadCell(int row, int field) const;
    const QString& Value(int field) const;
    void SetFieldText(int field, const QString& value);
    void WriteRow();
    void PlaceRow(int row);
    QString StoredText(int field, const QVariant& value) const;
    void SetCurrent(int row);
    void SetState(State state);
    void Detach();

    QString m_folder;
    QString m_tableName;
    QString m_indexName;
    TFieldDefs m_fieldDefs;
    TIndexDefs m_indexDefs;

    std::shared_ptr<StoreConnection> m_connection;
    ViewLayout m_layout;
    // While open: the reading of the rows and the writing of a row, over m_layout.
    std::unique_ptr<TableLoader> m_loader;
    std::unique_ptr<RowWriter> m_writer;

    TableRows m_rows;

    bool m_rowsOnDemand = false;
    bool m_rowsRead = false;
    qint64 m_placeRowid = -1; // a row posted before the rows were read: current once read
    State m_state = State::Inactive;
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    std::vector<QString> m_buffer; // pending values of the row in edit or insert
    unsigned long long m_modifiedMask = 0;
    int m_insertReturn = -1;

    qint64 m_insertedRowid = -1;
};

#include "storage/views/TTable.h"

#include <QDir>

#include <algorithm>
#include <utility>

#include "storage/engine/sqlite/Collation.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"

using TableSchema::CutToSize;
using TableSchema::Quoted;

namespace {

const QString& TrueText()
{
    return TableRows::TrueText();
}

const QString& FalseText()
{
    return TableRows::FalseText();
}

bool IsNumeric(TFieldType type)
{
    return type != TFieldType::String;
}

} // namespace

// ---- TField ----

QString TField::FieldName() const
{
    return m_table->CheckedField(m_index).Name;
}

TFieldType TField::DataType() const
{
    return m_table->CheckedField(m_index).DataType;
}

int TField::Size() const
{
    return m_table->CheckedField(m_index).Size;
}

bool TField::Required() const
{
    return m_table->CheckedField(m_index).Required;
}

bool TField::IsNull() const
{
    return m_table->Value(m_index).isNull();
}

QString TField::AsString() const
{
    const QString& value = m_table->Value(m_index);
    if (DataType() == TFieldType::Boolean && !value.isNull())
        return value == TrueText() ? QStringLiteral("True") : QStringLiteral("False");
    return value.isNull() ? QString(QLatin1String("")) : value;
}

bool TField::AsBoolean() const
{
    const QString& value = m_table->Value(m_index);
    if (DataType() == TFieldType::Boolean)
        return value == TrueText();
    return !value.isEmpty() && value != FalseText();
}

QVariant TField::Value() const
{
    const QString& value = m_table->Value(m_index);
    if (value.isNull())
        return {};
    switch (DataType()) {
    case TFieldType::Boolean:
        return value == TrueText();
    case TFieldType::Integer:
    case TFieldType::AutoInc:
        return value.toLongLong();
    case TFieldType::String:
    case TFieldType::Blob:
        break;
    }
    return value;
}

void TField::SetAsString(const QString& value)
{
    if (DataType() == TFieldType::Boolean) {
        if (value.isEmpty()) {
            m_table->SetFieldText(m_index, QString());
            return;
        }
        const QString v = value.trimmed().toUpper();
        const bool on = v == QLatin1String("TRUE") || v == QLatin1String("1") ||
                        v == QLatin1String("T") || v == QLatin1String("Y");
        SetAsBoolean(on);
        return;
    }
    m_table->SetFieldText(m_index, value);
}

void TField::SetAsBoolean(bool value)
{
    m_table->SetFieldText(m_index, value ? TrueText() : FalseText());
}

void TField::SetValue(const QVariant& value)
{
    if (value.isNull() || !value.isValid()) {
        Clear();
        return;
    }
    if (value.typeId() == QMetaType::Bool) {
        SetAsBoolean(value.toBool());
        return;
    }
    SetAsString(value.toString());
}

void TField::Clear()
{
    m_table->SetFieldText(m_index, QString());
}

// ---- TTable ----

TTable::TTable(QObject* parent) : QObject(parent) {}

TTable::~TTable()
{
    Detach();
}

void TTable::SetDatabaseName(const QString& folder)
{
    m_folder = folder;
}

void TTable::SetTableName(const QString& name)
{
    m_tableName = name;
}

void TTable::SetIndexName(const QString& name)
{
    if (!Active()) {
        m_indexName = name;
        return;
    }
    CheckBrowse();
    const QString previous = std::exchange(m_indexName, name);
    try {
        BuildOrder();
    } catch (...) {
        m_indexName = previous;
        BuildOrder();
        throw;
    }
    Reload();
}

bool TTable::Exists() const
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, false);
    return connection && !connection->FindTable(m_tableName).isEmpty();
}

void TTable::CreateTable()
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_folder, true);
    const QString name = StoreConnection::BareTableName(m_tableName);
    if (!connection->FindTable(name).isEmpty())
        throw EDatabaseError(QStringLiteral("Таблица «%1» уже существует.").arg(name));
    const QStringList statements = connection->CreateStatements(name, m_fieldDefs, m_indexDefs);

    TTransaction transaction(m_folder);
    for (const QString& statement : statements)
        connection->Exec(statement);
    transaction.Commit();
}

void TTable::Open()
{
    if (Active())
        return;
    m_connection = Session().Connect(m_folder, false);
    if (!m_connection)
        throw EDatabaseError(QStringLiteral("Таблица «%1» не найдена в папке «%2».")
                                 .arg(StoreConnection::BareTableName(m_tableName),
                                      QDir::toNativeSeparators(m_folder)),
                             EDatabaseError::Kind::TableMissing);
    m_connection->RegisterView(this);
    try {
        ReadLayout();
        BuildOrder();
        if (!m_rowsOnDemand)
            LoadRows();
    } catch (...) {
        Detach();
        throw;
    }
    m_rowsRead = !m_rowsOnDemand;
    m_state = State::Browse;
    m_current = m_rows.IsEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.IsEmpty();
    Q_EMIT RowsChanged();
    Q_EMIT StateChanged();
    Q_EMIT CurrentChanged();
}

void TTable::Close()
{
    if (!Active())
        return;
    Detach();
    Q_EMIT RowsChanged();
    Q_EMIT StateChanged();
}

bool TTable::ShowsTable(const QString& name) const
{
    return StoreConnection::BareTableName(name).compare(m_storedName, Qt::CaseInsensitive) == 0;
}

void TTable::SetRowsOnDemand(bool onDemand)
{
    if (!Active())
        m_rowsOnDemand = onDemand;
}

void TTable::RowsNeeded() const
{
    // Views are never made const, so reading the rows late changes no const object.
    if (!m_rowsRead && Active())
        const_cast<TTable*>(this)->ReadRowsNow();
}

void TTable::ReadRowsNow()
{
    LoadRows();
    m_rowsRead = true;
    const int count = m_rows.Count();
    if (m_state == State::Insert) {
        m_current = count;
    } else {
        const int placed = m_placeRowid < 0 ? -1 : m_rows.Find(m_placeRowid);
        m_current = placed >= 0 ? placed : (count == 0 ? -1 : 0);
    }
    m_bof = count == 0 || m_placeRowid < 0;
    m_eof = count == 0;
    m_placeRowid = -1;
}

void TTable::Detach()
{
    m_rowsRead = false;
    m_placeRowid = -1;
    m_updates.clear();
    m_keyFinds.clear();
    m_insert.reset();
    m_delete.reset();
    m_select.reset();
    if (m_connection)
        m_connection->UnregisterView(this);
    m_connection.reset();
    m_rows.Clear();
    m_buffer.clear();
    m_modifiedMask = 0;
    m_fields.clear();
    m_indexes.clear();
    m_order.clear();
    m_state = State::Inactive;
    m_current = -1;
    m_eof = m_bof = true;
}

void TTable::ReadLayout()
{
    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(*m_connection, m_tableName);
    if (layout.Fields.size() > 64)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» содержит слишком много полей.").arg(layout.Name));
    m_storedName = layout.Name;
    m_rowid = m_connection->RowidColumn(layout);
    m_fields.clear();
    for (std::size_t i = 0; i < layout.Fields.size(); ++i)
        m_fields.push_back({layout.Fields[i], int(i) == layout.RowidAlias});
    // A key other than the rowid takes part in naming a row on write.
    m_keyMask = 0;
    if (const TableSchema::StoredIndex* key = layout.Primary(); key && layout.RowidAlias < 0) {
        for (int field : key->Fields)
            m_keyMask |= 1ull << field;
    }
    m_indexes.clear();
    m_fieldDefs = layout.Fields;
    m_indexDefs.clear();
    for (const TableSchema::StoredIndex& stored : layout.Indexes) {
        IndexInfo index;
        index.name = stored.Def.Name;
        index.fields = stored.Fields;
        index.noCase = stored.NoCase;
        index.unique = (stored.Def.Options & ixUnique) != 0;
        index.primary = (stored.Def.Options & ixPrimary) != 0;
        m_indexes.push_back(std::move(index));
        m_indexDefs.push_back(stored.Def);
    }
}

void TTable::BuildOrder()
{
    m_order.clear();
    const IndexInfo* chosen = nullptr;
    if (m_indexName.isEmpty()) {
        for (const IndexInfo& index : m_indexes) {
            if (index.primary)
                chosen = &index;
        }
    } else {
        for (const IndexInfo& index : m_indexes) {
            if (index.name.compare(m_indexName, Qt::CaseInsensitive) == 0)
                chosen = &index;
        }
        if (!chosen)
            throw EDatabaseError(QStringLiteral("Индекс «%1» не найден в таблице «%2».")
                                     .arg(m_indexName, m_storedName));
    }
    if (!chosen)
        return; // rowid order
    for (std::size_t i = 0; i < chosen->fields.size(); ++i) {
        const int field = chosen->fields[i];
        if (m_fields[std::size_t(field)].rowidAlias)
            continue;
        m_order.push_back(
            {field, chosen->noCase[i], IsNumeric(m_fields[std::size_t(field)].def.DataType)});
    }
}

void TTable::LoadRows()
{
    StoreConnection& db = *m_connection;
    const int fieldCount = FieldCount();
    m_rowsMark = db.CurrentChangeMark(); // before the read: a write meanwhile reads again

    qint64 expected = 0;
    {
        Statement count(db, QStringLiteral("SELECT count(*) FROM %1").arg(Quoted(m_storedName)));
        if (count.Step())
            expected = count.Int(0);
    }

    QStringList columns{m_rowid};
    for (const FieldInfo& field : m_fields)
        columns << Quoted(field.def.Name);
    QStringList order;
    for (const TableRows::KeyPart& part : m_order) {
        order << db.OrderTerm(Quoted(m_fields[std::size_t(part.field)].def.Name), part.noCase,
                              part.numeric);
    }
    order << m_rowid;
    Statement select(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                             .arg(columns.join(QLatin1String(", ")), Quoted(m_storedName),
                                  order.join(QLatin1String(", "))));

    std::vector<bool> boolean;
    for (const FieldInfo& field : m_fields)
        boolean.push_back(field.def.DataType == TFieldType::Boolean);
    m_rows.Reset(fieldCount, m_order);
    m_rows.Read(select, boolean, expected);
}

void TTable::Reload()
{
    ReloadRows(true);
}

void TTable::ReloadRows(bool read)
{
    if (!Active() || !m_rowsRead)
        return; // rows not read yet are read fresh when first needed
    const qint64 rowid =
        (m_current >= 0 && m_current < m_rows.Count()) ? m_rows.Rowid(m_current) : -1;
    const int old = m_current;
    if (read)
        LoadRows();
    const int count = m_rows.Count();
    const int found = rowid < 0 ? -1 : m_rows.Find(rowid);
    if (m_state == State::Insert) {
        m_current = count;
    } else if (found >= 0) {
        m_current = found;
    } else {
        if (m_state == State::Edit) {
            m_buffer.clear();
            m_modifiedMask = 0;
            m_state = State::Browse;
            Q_EMIT StateChanged();
        }
        m_current = count == 0 ? -1 : std::clamp(old, 0, count - 1);
    }
    m_eof = count == 0;
    m_bof = count == 0;
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

void TTable::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Таблица «%1» не открыта.")
                                 .arg(StoreConnection::BareTableName(m_tableName)));
}

void TTable::CheckBrowse()
{
    if (m_state == State::Edit || m_state == State::Insert) {
        if (Modified())
            Post();
        else
            Cancel();
    }
}

void TTable::RequireRows(const char* action) const
{
    RowsNeeded();
    if (m_rows.IsEmpty())
        throw EDatabaseError(QStringLiteral("Таблица «%1» не содержит записей: %2 невозможно.")
                                 .arg(m_storedName, QString::fromUtf8(action)));
}

int TTable::RecordCount() const
{
    RowsNeeded();
    return m_rows.Count();
}

bool TTable::Eof() const
{
    RowsNeeded();
    return m_eof;
}

bool TTable::Bof() const
{
    RowsNeeded();
    return m_bof;
}

int TTable::CurrentRow() const
{
    RowsNeeded();
    return m_current;
}

qint64 TTable::CurrentRowid() const
{
    return m_state == State::Insert ? -1 : RowidAt(m_current);
}

qint64 TTable::RowidAt(int row) const
{
    if (!Active())
        return -1;
    RowsNeeded();
    return row >= 0 && row < m_rows.Count() ? m_rows.Rowid(row) : -1;
}

bool TTable::LocateRowid(qint64 rowid)
{
    CheckActive();
    RowsNeeded();
    if (rowid < 0 || m_rows.Find(rowid) < 0)
        return false;
    CheckBrowse(); // a pending change is stored first, and may move rows
    const int found = m_rows.Find(rowid);
    if (found < 0)
        return false;
    SetCurrent(found);
    return true;
}

int TTable::RecNo() const
{
    RowsNeeded();
    if (m_state == State::Insert || m_current < 0)
        return 0;
    return m_current + 1;
}

void TTable::SetCurrent(int row)
{
    if (row == m_current)
        return;
    m_current = row;
    Q_EMIT CurrentChanged();
}

void TTable::SetState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT StateChanged();
}

void TTable::First()
{
    CheckActive();
    RowsNeeded();
    CheckBrowse();
    SetCurrent(m_rows.IsEmpty() ? -1 : 0);
    m_bof = true;
    m_eof = m_rows.IsEmpty();
}

void TTable::Next()
{
    CheckActive();
    RowsNeeded();
    CheckBrowse();
    const int count = RecordCount();
    if (m_current + 1 < count) {
        SetCurrent(m_current + 1);
        m_eof = false;
    } else {
        m_eof = true;
    }
    m_bof = count == 0;
}

void TTable::Prior()
{
    CheckActive();
    RowsNeeded();
    CheckBrowse();
    const int count = RecordCount();
    if (m_current > 0) {
        SetCurrent(m_current - 1);
        m_bof = false;
    } else {
        m_bof = true;
    }
    m_eof = count == 0;
}

void TTable::Last()
{
    CheckActive();
    RowsNeeded();
    CheckBrowse();
    const int count = RecordCount();
    SetCurrent(count - 1);
    m_eof = true;
    m_bof = count == 0;
}

void TTable::SetRecNo(int recNo)
{
    CheckActive();
    RowsNeeded();
    const int count = RecordCount();
    if (count == 0)
        return;
    const int row = std::clamp(recNo, 1, count) - 1;
    if (row == m_current && m_state != State::Insert)
        return;
    CheckBrowse();
    SetCurrent(row);
    m_eof = m_bof = false;
}

QStringList TTable::FieldNames() const
{
    QStringList names;
    for (const FieldInfo& field : m_fields)
        names << field.def.Name;
    return names;
}

int TTable::FindField(const QString& name) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].def.Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

TField TTable::FieldByName(const QString& name)
{
    CheckActive();
    const int index = FindField(name);
    if (index < 0)
        throw EDatabaseError(
            QStringLiteral("Поле «%1» не найдено в таблице «%2».").arg(name, m_storedName));
    return TField(this, index);
}

TField TTable::Fields(int index)
{
    CheckActive();
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(
            QStringLiteral("Поля с номером %1 нет в таблице «%2».").arg(index).arg(m_storedName));
    return TField(this, index);
}

const TFieldDef& TTable::CheckedField(int field) const
{
    CheckActive();
    if (field < 0 || field >= FieldCount())
        throw EDatabaseError(
            QStringLiteral("Поля с номером %1 нет в таблице «%2».").arg(field).arg(m_storedName));
    return m_fields[std::size_t(field)].def;
}

const QString& TTable::Value(int field) const
{
    CheckedField(field);
    static const QString blank;
    if (m_state == State::Edit || m_state == State::Insert)
        return m_buffer[std::size_t(field)];
    RowsNeeded();
    if (m_current < 0)
        return blank;
    return m_rows.Row(m_current)[field];
}

QString TTable::ReadCell(int row, int field) const
{
    RowsNeeded();
    if ((m_state == State::Edit || m_state == State::Insert) && row == m_current)
        return m_buffer[std::size_t(field)];
    if (row < 0 || row >= RecordCount())
        return {};
    return m_rows.Row(row)[field];
}

int TTable::DisplayRowCount() const
{
    RowsNeeded();
    return RecordCount() + (m_state == State::Insert ? 1 : 0);
}

QString TTable::CellText(int row, int field) const
{
    const QString value = ReadCell(row, field);
    if (m_fields[std::size_t(field)].def.DataType == TFieldType::Boolean && !value.isNull())
        return value == TrueText() ? QStringLiteral("True") : QStringLiteral("False");
    return value;
}

bool TTable::CellBoolean(int row, int field) const
{
    return ReadCell(row, field) == TrueText();
}

void TTable::SetFieldText(int field, const QString& value)
{
    CheckedField(field);
    if (m_state != State::Edit && m_state != State::Insert)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» не находится в режиме редактирования.").arg(m_storedName));
    const FieldInfo& info = m_fields[std::size_t(field)];
    if (info.rowidAlias)
        throw EDatabaseError(
            QStringLiteral("Поле «%1» заполняется автоматически.").arg(info.def.Name));
    QString text =
        info.def.DataType == TFieldType::String ? CutToSize(value, info.def.Size) : value;
    if (text.isEmpty())
        text = QString();
    QString& slot = m_buffer[std::size_t(field)];
    if (slot.isNull() == text.isNull() && slot == text)
        return;
    slot = std::move(text);
    m_modifiedMask |= 1ull << field;
    Q_EMIT RowChanged(m_current);
}

void TTable::Edit()
{
    CheckActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    RowsNeeded();
    if (m_rows.IsEmpty()) {
        Insert();
        return;
    }
    const QString* row = m_rows.Row(m_current);
    m_buffer.assign(row, row + FieldCount());
    m_modifiedMask = 0;
    SetState(State::Edit);
}

void TTable::Insert()
{
    CheckActive();
    CheckBrowse();
    m_buffer.assign(m_fields.size(), QString());
    m_modifiedMask = 0;
    m_insertReturn = m_current;
    // Unread rows stay unread: the insert row's place is fixed when they are read.
    m_current = m_rowsRead ? RecordCount() : 0;
    m_state = State::Insert;
    Q_EMIT RowsChanged();
    Q_EMIT StateChanged();
    Q_EMIT CurrentChanged();
    if (AfterInsert)
        AfterInsert(*this);
}

void TTable::Append()
{
    Insert();
}

void TTable::Cancel()
{
    if (m_state == State::Edit) {
        m_buffer.clear();
        m_modifiedMask = 0;
        SetState(State::Browse);
        Q_EMIT RowChanged(m_current);
    } else if (m_state == State::Insert) {
        m_buffer.clear();
        m_modifiedMask = 0;
        const int count = m_rowsRead ? RecordCount() : 0;
        m_current = count == 0 ? -1 : std::clamp(m_insertReturn, 0, count - 1);
        m_state = State::Browse;
        Q_EMIT RowsChanged();
        Q_EMIT StateChanged();
        Q_EMIT CurrentChanged();
    }
}

void TTable::Post()
{
    CheckActive();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (BeforePost)
        BeforePost(*this);
    // A hook may have cancelled the edit: then there is nothing left to write.
    auto editing = [this] { return m_state == State::Edit || m_state == State::Insert; };
    if (!editing())
        return;
    for (;;) {
        try {
            WriteRow();
            return;
        } catch (const EDatabaseError& error) {
            DataAction action = DataAction::Fail;
            if (OnPostError)
                OnPostError(*this, error, action);
            if (action == DataAction::Retry) {
                if (!editing())
                    return;
                continue;
            }
            if (action == DataAction::Abort)
                throw EAbort();
            throw;
        }
    }
}

void TTable::WriteRow()
{
    const int fieldCount = FieldCount();
    for (int f = 0; f < fieldCount; ++f) {
        const FieldInfo& info = m_fields[std::size_t(f)];
        if (info.def.Required && !info.rowidAlias && m_buffer[std::size_t(f)].isEmpty())
            throw EDatabaseError(QStringLiteral("Поле «%1» таблицы «%2» должно быть заполнено.")
                                     .arg(info.def.Name, m_storedName),
                                 EDatabaseError::Kind::RequiredBlank);
    }
    if (m_state == State::Edit) {
        if (m_modifiedMask != 0) {
            // The row is named by its rowid and by the values read of its key and of the
            // fields this write changes, so a row deleted, re-keyed or changed meanwhile by
            // someone else is refused rather than overwritten.
            QString* row = m_rows.Row(m_current);
            std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
            UpdateRow(m_rows.Rowid(m_current), row, m_buffer.data(), m_modifiedMask,
                      m_modifiedMask | m_keyMask, stored.data());
            std::move(stored.begin(), stored.end(), row);
        }
        m_buffer.clear();
        const bool moved = m_modifiedMask != 0;
        m_modifiedMask = 0;
        SetState(State::Browse);
        if (moved)
            PlaceRow(m_current);
        else
            Q_EMIT RowChanged(m_current);
        return;
    }

    // Insert.
    if (!m_insert) {
        QStringList columns;
        QStringList parameters;
        QStringList returning{m_rowid}; // the row as stored, where the engine returns it
        for (const FieldInfo& field : m_fields) {
            returning << Quoted(field.def.Name);
            if (field.rowidAlias)
                continue;
            columns << Quoted(field.def.Name);
            parameters << QStringLiteral("?%1").arg(parameters.size() + 1);
        }
        m_insert = std::make_unique<Statement>(
            *m_connection,
            (columns.isEmpty()
                 ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quoted(m_storedName))
                 : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(Quoted(m_storedName), columns.join(QLatin1String(", ")),
                            parameters.join(QLatin1String(", ")))) +
                m_connection->InsertReturning(returning.join(QLatin1String(", "))));
    }
    int parameter = 1;
    for (int f = 0; f < fieldCount; ++f) {
        if (!m_fields[std::size_t(f)].rowidAlias)
            BindValue(*m_insert, parameter++, m_buffer[std::size_t(f)], f);
    }
    qint64 returned = -1;
    std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
    try {
        if (m_insert->Step()) {
            returned = m_insert->Int(0);
            ReadValues(*m_insert, 1, stored.data());
            while (m_insert->Step()) {
            }
        }
    } catch (const EDatabaseError& error) {
        m_insert->Reset();
        throw Translated(error);
    }
    const qint64 changed = m_insert->Changes();
    m_insert->Reset();
    const qint64 rowid = returned >= 0 ? returned : m_connection->LastInsertRowid();
    // A view without its rows in memory has no use for the stored row: the count of
    // changed rows says whether it was added, without reading it back.
    const bool added = returned >= 0 ? changed == 1
                       : m_rowsRead  ? ReadStoredRow(rowid, stored.data())
                                     : changed == 1;
    if (!added)
        throw EDatabaseError(
            QStringLiteral("Запись не добавлена в таблицу «%1».").arg(m_storedName));
    m_insertedRowid = rowid;
    m_buffer.clear();
    m_modifiedMask = 0;
    if (!m_rowsRead) {
        // The new row becomes current once the rows are read.
        m_placeRowid = rowid;
        m_current = -1;
        m_state = State::Browse;
        Q_EMIT StateChanged();
        Q_EMIT RowsChanged();
        Q_EMIT CurrentChanged();
        return;
    }
    const int placed = m_rows.Insert(std::move(stored), rowid);
    m_current = RecordCount() - 1; // where the insert row was shown
    m_state = State::Browse;
    m_eof = m_bof = false;
    Q_EMIT StateChanged();
    if (placed == m_current) {
        Q_EMIT RowChanged(placed);
    } else {
        m_current = placed;
        Q_EMIT RowsChanged();
        Q_EMIT CurrentChanged();
    }
    Q_EMIT RowsChanged();
}

Statement& TTable::UpdateStatement(unsigned long long mask, unsigned long long checked)
{
    auto found = m_updates.find({mask, checked});
    if (found != m_updates.end())
        return *found->second;
    QStringList assignments;
    int parameter = 1;
    for (int f = 0; f < FieldCount(); ++f) {
        if (mask & (1ull << f))
            assignments << QStringLiteral("%1 = ?%2")
                               .arg(Quoted(m_fields[std::size_t(f)].def.Name))
                               .arg(parameter++);
    }
    QStringList conditions{QStringLiteral("%1 = ?%2").arg(m_rowid).arg(parameter++)};
    for (int f = 0; f < FieldCount(); ++f) {
        if (checked & (1ull << f))
            conditions << SameValueCondition(f, parameter++);
    }
    QStringList columns;
    for (const FieldInfo& field : m_fields)
        columns << Quoted(field.def.Name);
    auto statement = std::make_unique<Statement>(
        *m_connection, QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                               .arg(Quoted(m_storedName), assignments.join(QLatin1String(", ")),
                                    conditions.join(QLatin1String(" AND "))) +
                           m_connection->InsertReturning(columns.join(QLatin1String(", "))));
    Statement& result = *statement;
    m_updates.emplace(std::make_pair(mask, checked), std::move(statement));
    return result;
}

EDatabaseError TTable::Translated(const EDatabaseError& error) const
{
    if (!error.IsKeyViolation())
        return error;
    const QString index = KeyViolationIndex(error.IndexName());
    return EDatabaseError(QStringLiteral("В таблице «%1» уже есть запись с таким же ключом «%2».")
                              .arg(m_storedName, index),
                          EDatabaseError::Kind::KeyViolation, error.ResultCode(), index);
}

void TTable::BindValue(Statement& statement, int parameter, const QString& value, int field) const
{
    if (value.isNull())
        statement.BindNull(parameter);
    else if (IsNumeric(m_fields[std::size_t(field)].def.DataType))
        statement.BindInt(parameter, value.toLongLong());
    else
        statement.BindText(parameter, value);
}

void TTable::UpdateRow(qint64 rowid, const QString* read, const QString* values,
                       unsigned long long mask, unsigned long long checked, QString* stored)
{
    const int fieldCount = FieldCount();
    Statement& update = UpdateStatement(mask, checked);
    int parameter = 1;
    for (int f = 0; f < fieldCount; ++f) {
        if (mask & (1ull << f))
            BindValue(update, parameter++, values[f], f);
    }
    update.BindInt(parameter++, rowid);
    for (int f = 0; f < fieldCount; ++f) {
        if (checked & (1ull << f))
            BindValue(update, parameter++, read[f], f);
    }
    // What is stored now, other users' changes to other fields included: the row the
    // update returns where the store can, else the row read after it.
    bool returned = false;
    try {
        if (update.Step()) {
            returned = true;
            ReadValues(update, 0, stored);
            while (update.Step()) {
            }
        }
    } catch (const EDatabaseError& error) {
        update.Reset();
        throw Translated(error);
    }
    const qint64 changed = update.Changes();
    update.Reset();
    if (changed != 1)
        throw RecordChangedError();
    if (!returned && !ReadStoredRow(rowid, stored))
        throw RecordChangedError();
}

std::optional<TTable::StoredRow> TTable::FindByKey(const QString& indexName,
                                                   const QStringList& values)
{
    CheckActive();
    const auto index = std::find_if(m_indexes.begin(), m_indexes.end(), [&](const IndexInfo& i) {
        return i.name.compare(indexName, Qt::CaseInsensitive) == 0;
    });
    if (index == m_indexes.end())
        throw EDatabaseError(
            QStringLiteral("Индекс «%1» не найден в таблице «%2».").arg(indexName, m_storedName));
    if (values.size() != qsizetype(index->fields.size()))
        throw EDatabaseError(QStringLiteral("Для индекса «%1» таблицы «%2» задано %3 значений "
                                            "вместо %4.")
                                 .arg(index->name, m_storedName)
                                 .arg(values.size())
                                 .arg(index->fields.size()));
    std::unique_ptr<Statement>& find = m_keyFinds[index->name];
    if (!find) {
        QStringList columns{m_rowid};
        for (const FieldInfo& field : m_fields)
            columns << Quoted(field.def.Name);
        // Both sides in the index's own terms, so the store matches as its key does.
        QStringList conditions;
        for (std::size_t i = 0; i < index->fields.size(); ++i) {
            const TFieldDef& def = m_fields[std::size_t(index->fields[i])].def;
            const bool numeric = IsNumeric(def.DataType);
            conditions << m_connection->KeyTerm(Quoted(def.Name), index->noCase[i], numeric) +
                              QLatin1String(" = ") +
                              m_connection->KeyTerm(QStringLiteral("?%1").arg(i + 1),
                                                    index->noCase[i], numeric);
        }
        find = std::make_unique<Statement>(
            *m_connection, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                               .arg(columns.join(QLatin1String(", ")), Quoted(m_storedName),
                                    conditions.join(QLatin1String(" AND "))));
    }
    for (std::size_t i = 0; i < index->fields.size(); ++i)
        BindValue(*find, int(i) + 1, values[qsizetype(i)], index->fields[i]);
    std::optional<StoredRow> found;
    try {
        if (find->Step()) {
            found.emplace();
            found->Rowid = find->Int(0);
            found->Values.resize(m_fields.size());
            ReadValues(*find, 1, found->Values.data());
        }
    } catch (...) {
        find->Reset();
        throw;
    }
    find->Reset();
    return found;
}

QString TTable::StoredText(int field, const QVariant& value) const
{
    const TFieldDef& def = CheckedField(field);
    if (value.isNull() || !value.isValid())
        return QString();
    if (def.DataType == TFieldType::Boolean)
        return value.toBool() ? TrueText() : FalseText();
    QString text = value.toString();
    if (def.DataType == TFieldType::String)
        text = CutToSize(text, def.Size);
    return text.isEmpty() ? QString() : text;
}

void TTable::UpdateStoredRow(const StoredRow& read,
                             const std::vector<std::pair<int, QVariant>>& values)
{
    CheckActive();
    CheckBrowse();
    const int fieldCount = FieldCount();
    if (read.Values.size() != std::size_t(fieldCount))
        throw EDatabaseError(
            QStringLiteral("Запись таблицы «%1» прочитана не полностью.").arg(m_storedName));
    std::vector<QString> written = read.Values;
    unsigned long long mask = 0;
    for (const auto& [field, value] : values) {
        if (m_fields[std::size_t(field)].rowidAlias)
            throw EDatabaseError(
                QStringLiteral("Поле «%1» заполняется автоматически.").arg(FieldDef(field).Name));
        QString text = StoredText(field, value);
        QString& slot = written[std::size_t(field)];
        if (slot.isNull() == text.isNull() && slot == text)
            continue;
        slot = std::move(text);
        mask |= 1ull << field;
    }
    if (mask == 0)
        return;
    unsigned long long every = 0;
    for (int f = 0; f < fieldCount; ++f) {
        if (!m_fields[std::size_t(f)].rowidAlias)
            every |= 1ull << f;
    }
    std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
    UpdateRow(read.Rowid, read.Values.data(), written.data(), mask, every, stored.data());
    const int at = m_rowsRead ? m_rows.Find(read.Rowid) : -1;
    if (at < 0)
        return;
    const qint64 current = m_current >= 0 && m_current < m_rows.Count() ? m_rows.Rowid(m_current)
                                                                         : -1;
    std::move(stored.begin(), stored.end(), m_rows.Row(at));
    m_rows.Place(at);
    if (current >= 0)
        m_current = m_rows.Find(current);
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

bool TTable::ReadStoredRow(qint64 rowid, QString* values)
{
    if (!m_select) {
        QStringList columns;
        for (const FieldInfo& field : m_fields)
            columns << Quoted(field.def.Name);
        m_select = std::make_unique<Statement>(
            *m_connection,
            QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                .arg(columns.join(QLatin1String(", ")), Quoted(m_storedName), m_rowid));
    }
    m_select->BindInt(1, rowid);
    bool found = false;
    try {
        found = m_select->Step();
        if (found)
            ReadValues(*m_select, 0, values);
    } catch (...) {
        m_select->Reset();
        throw;
    }
    m_select->Reset();
    return found;
}

QString TTable::SameValueCondition(int field, int parameter) const
{
    const FieldInfo& info = m_fields[std::size_t(field)];
    // A blank reads as empty text whether it is stored as NULL or as ''.
    if (IsNumeric(info.def.DataType))
        return QStringLiteral("%1 %2 ?%3")
            .arg(Quoted(info.def.Name), m_connection->NullSafeEquals())
            .arg(parameter);
    return QStringLiteral("coalesce(%1, '') = coalesce(?%2, '')")
        .arg(Quoted(info.def.Name))
        .arg(parameter);
}

void TTable::ReadValues(const Statement& stmt, int firstColumn, QString* values) const
{
    for (int f = 0; f < FieldCount(); ++f) {
        const int column = firstColumn + f;
        if (stmt.IsNull(column))
            values[f] = QString();
        else if (m_fields[std::size_t(f)].def.DataType == TFieldType::Boolean)
            values[f] = stmt.Int(column) ? TrueText() : FalseText();
        else
            values[f] = stmt.Text(column);
    }
}

EDatabaseError TTable::RecordChangedError() const
{
    return EDatabaseError(
        QStringLiteral("Запись таблицы «%1» изменена или удалена другим пользователем после "
                       "того, как была прочитана. Обновите данные и повторите изменение.")
            .arg(m_storedName),
        EDatabaseError::Kind::RecordChanged);
}

void TTable::PlaceRow(int row)
{
    const int target = m_rows.Place(row);
    if (target == row) {
        Q_EMIT RowChanged(row);
        SetCurrent(row);
        return;
    }
    m_current = target;
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

QString TTable::KeyViolationIndex(const QString& columns) const
{
    QStringList names;
    for (const QString& column : columns.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = column.trimmed();
        const qsizetype dot = trimmed.indexOf(QLatin1Char('.'));
        names << (dot < 0 ? trimmed : trimmed.mid(dot + 1));
    }
    // A unique index first; else the index whose uniqueness the store's triggers keep while
    // older rows break it.
    for (const bool unique : {true, false}) {
        for (const IndexInfo& index : m_indexes) {
            if (index.unique != unique || index.fields.size() != std::size_t(names.size()))
                continue;
            bool same = true;
            for (std::size_t i = 0; i < index.fields.size(); ++i) {
                same = same && m_fields[std::size_t(index.fields[i])].def.Name.compare(
                                   names[qsizetype(i)], Qt::CaseInsensitive) == 0;
            }
            if (same)
                return index.name;
        }
    }
    return names.join(QLatin1Char(';'));
}

void TTable::Delete()
{
    CheckActive();
    if (m_state == State::Insert) {
        Cancel();
        return;
    }
    if (m_state == State::Edit)
        Cancel();
    RequireRows("удаление");
    if (!m_delete) {
        QStringList conditions{QStringLiteral("%1 = ?1").arg(m_rowid)};
        int parameter = 2;
        for (int f = 0; f < FieldCount(); ++f) {
            if (m_keyMask & (1ull << f))
                conditions << SameValueCondition(f, parameter++);
        }
        m_delete = std::make_unique<Statement>(
            *m_connection, QStringLiteral("DELETE FROM %1 WHERE %2")
                               .arg(Quoted(m_storedName), conditions.join(QLatin1String(" AND "))));
    }
    m_delete->BindInt(1, m_rows.Rowid(m_current));
    int parameter = 2;
    const QString* row = m_rows.Row(m_current);
    for (int f = 0; f < FieldCount(); ++f) {
        if (m_keyMask & (1ull << f))
            BindValue(*m_delete, parameter++, row[f], f);
    }
    try {
        while (m_delete->Step()) {
        }
    } catch (...) {
        m_delete->Reset();
        throw;
    }
    const qint64 changed = m_delete->Changes();
    m_delete->Reset();
    if (changed != 1)
        throw RecordChangedError();
    m_rows.Erase(m_current);
    const int count = RecordCount();
    m_current = count == 0 ? -1 : std::min(m_current, count - 1);
    m_eof = m_bof = count == 0;
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

void TTable::Refresh()
{
    CheckActive();
    CheckBrowse();
    const bool unchanged =
        m_rowsRead && m_rowsMark && m_connection->CurrentChangeMark() == m_rowsMark;
    ReloadRows(!unchanged);
}

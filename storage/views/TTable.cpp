#include "storage/views/TTable.h"

#include <QDir>

#include <algorithm>
#include <utility>

#include "storage/engine/StoreConnection.h"
#include "storage/views/RowWriter.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "storage/views/TableLoader.h"

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
        return value == TableRows::TrueText() ? QStringLiteral("True") : QStringLiteral("False");
    return value.isNull() ? QString(QLatin1String("")) : value;
}

bool TField::AsBoolean() const
{
    const QString& value = m_table->Value(m_index);
    if (DataType() == TFieldType::Boolean)
        return value == TableRows::TrueText();
    return !value.isEmpty() && value != TableRows::FalseText();
}

QVariant TField::Value() const
{
    const QString& value = m_table->Value(m_index);
    if (value.isNull())
        return {};
    switch (DataType()) {
    case TFieldType::Boolean:
        return value == TableRows::TrueText();
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
    m_table->SetFieldText(m_index, value ? TableRows::TrueText() : TableRows::FalseText());
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
        m_loader->BuildOrder(m_indexName);
    } catch (...) {
        m_indexName = previous;
        m_loader->BuildOrder(m_indexName);
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
        m_layout = TableLoader::ReadLayout(*m_connection, m_tableName, m_fieldDefs, m_indexDefs);
        m_loader = std::make_unique<TableLoader>(*m_connection, m_layout);
        m_writer = std::make_unique<RowWriter>(*m_connection, m_layout);
        m_loader->BuildOrder(m_indexName);
        if (!m_rowsOnDemand)
            m_loader->LoadRows(m_rows);
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
    return StoreConnection::BareTableName(name).compare(m_layout.storedName, Qt::CaseInsensitive) ==
           0;
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
    m_loader->LoadRows(m_rows);
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
    m_writer.reset();
    m_loader.reset();
    if (m_connection)
        m_connection->UnregisterView(this);
    m_connection.reset();
    m_rows.Clear();
    m_buffer.clear();
    m_modifiedMask = 0;
    m_layout.fields.clear();
    m_layout.indexes.clear();
    m_state = State::Inactive;
    m_current = -1;
    m_eof = m_bof = true;
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
        m_loader->LoadRows(m_rows);
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

void TTable::Refresh()
{
    CheckActive();
    CheckBrowse();
    const bool unchanged = m_rowsRead && m_loader->RowsUnchanged();
    ReloadRows(!unchanged);
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
                                 .arg(m_layout.storedName, QString::fromUtf8(action)));
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
    for (const FieldInfo& field : m_layout.fields)
        names << field.def.Name;
    return names;
}

int TTable::FindField(const QString& name) const
{
    for (std::size_t i = 0; i < m_layout.fields.size(); ++i) {
        if (m_layout.fields[i].def.Name.compare(name, Qt::CaseInsensitive) == 0)
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
            QStringLiteral("Поле «%1» не найдено в таблице «%2».").arg(name, m_layout.storedName));
    return TField(this, index);
}

TField TTable::Fields(int index)
{
    CheckActive();
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("Поля с номером %1 нет в таблице «%2».")
                                 .arg(index)
                                 .arg(m_layout.storedName));
    return TField(this, index);
}

const TFieldDef& TTable::CheckedField(int field) const
{
    CheckActive();
    if (field < 0 || field >= FieldCount())
        throw EDatabaseError(QStringLiteral("Поля с номером %1 нет в таблице «%2».")
                                 .arg(field)
                                 .arg(m_layout.storedName));
    return m_layout.fields[std::size_t(field)].def;
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
    if (m_layout.fields[std::size_t(field)].def.DataType == TFieldType::Boolean && !value.isNull())
        return value == TableRows::TrueText() ? QStringLiteral("True") : QStringLiteral("False");
    return value;
}

bool TTable::CellBoolean(int row, int field) const
{
    return ReadCell(row, field) == TableRows::TrueText();
}

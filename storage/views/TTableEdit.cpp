// TTable's editing: the edit and insert states, Post with its hooks, Delete, and the writes
// to rows found past the view's rows; the SQL of every write is the row writer's.
#include "storage/views/TTable.h"

#include <algorithm>
#include <utility>

#include "storage/engine/TableSchema.h"
#include "storage/views/RowWriter.h"

using TableSchema::CutToSize;

void TTable::SetFieldText(int field, const QString& value)
{
    CheckedField(field);
    if (m_state != State::Edit && m_state != State::Insert)
        throw EDatabaseError(QStringLiteral("Таблица «%1» не находится в режиме редактирования.")
                                 .arg(m_layout.storedName));
    const FieldInfo& info = m_layout.fields[std::size_t(field)];
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
    m_buffer.assign(m_layout.fields.size(), QString());
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
        const FieldInfo& info = m_layout.fields[std::size_t(f)];
        if (info.def.Required && !info.rowidAlias && m_buffer[std::size_t(f)].isEmpty())
            throw EDatabaseError(QStringLiteral("Поле «%1» таблицы «%2» должно быть заполнено.")
                                     .arg(info.def.Name, m_layout.storedName),
                                 EDatabaseError::Kind::RequiredBlank);
    }
    if (m_state == State::Edit) {
        if (m_modifiedMask != 0) {
            // The row is named by its rowid and by the values read of its key and of the
            // fields this write changes, so a row deleted, re-keyed or changed meanwhile by
            // someone else is refused rather than overwritten.
            QString* row = m_rows.Row(m_current);
            std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
            m_writer->UpdateRow(m_rows.Rowid(m_current), row, m_buffer.data(), m_modifiedMask,
                                m_modifiedMask | m_layout.keyMask, stored.data());
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
    std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
    const qint64 rowid = m_writer->InsertRow(m_buffer.data(), m_rowsRead, stored.data());
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

std::optional<TTable::StoredRow> TTable::FindByKey(const QString& indexName,
                                                   const QStringList& values)
{
    CheckActive();
    return m_writer->FindByKey(indexName, values);
}

QString TTable::StoredText(int field, const QVariant& value) const
{
    const TFieldDef& def = CheckedField(field);
    if (value.isNull() || !value.isValid())
        return QString();
    if (def.DataType == TFieldType::Boolean)
        return value.toBool() ? TableRows::TrueText() : TableRows::FalseText();
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
            QStringLiteral("Запись таблицы «%1» прочитана не полностью.").arg(m_layout.storedName));
    std::vector<QString> written = read.Values;
    unsigned long long mask = 0;
    for (const auto& [field, value] : values) {
        if (m_layout.fields[std::size_t(field)].rowidAlias)
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
        if (!m_layout.fields[std::size_t(f)].rowidAlias)
            every |= 1ull << f;
    }
    std::vector<QString> stored(static_cast<std::size_t>(fieldCount));
    m_writer->UpdateRow(read.Rowid, read.Values.data(), written.data(), mask, every, stored.data());
    const int at = m_rowsRead ? m_rows.Find(read.Rowid) : -1;
    if (at < 0)
        return;
    const qint64 current =
        m_current >= 0 && m_current < m_rows.Count() ? m_rows.Rowid(m_current) : -1;
    std::move(stored.begin(), stored.end(), m_rows.Row(at));
    m_rows.Place(at);
    if (current >= 0)
        m_current = m_rows.Find(current);
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

EDatabaseError TTable::RecordChangedError() const
{
    return RowWriter::RecordChangedError(m_layout.storedName);
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
    m_writer->DeleteRow(m_rows.Rowid(m_current), m_rows.Row(m_current));
    m_rows.Erase(m_current);
    const int count = RecordCount();
    m_current = count == 0 ? -1 : std::min(m_current, count - 1);
    m_eof = m_bof = count == 0;
    Q_EMIT RowsChanged();
    Q_EMIT CurrentChanged();
}

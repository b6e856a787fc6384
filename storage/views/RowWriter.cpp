#include "storage/views/RowWriter.h"

#include <algorithm>
#include <utility>

#include "storage/engine/StoreConnection.h"
#include "storage/engine/TableSchema.h"
#include "storage/views/TableRows.h"
#include "storage/views/ViewLayout.h"

using TableSchema::Quoted;

EDatabaseError RowWriter::RecordChangedError(const QString& storedName)
{
    return EDatabaseError(
        QStringLiteral("Запись таблицы «%1» изменена или удалена другим пользователем после "
                       "того, как была прочитана. Обновите данные и повторите изменение.")
            .arg(storedName),
        EDatabaseError::Kind::RecordChanged);
}

RowWriter::RowWriter(StoreConnection& connection, const ViewLayout& layout)
    : m_connection(connection), m_layout(layout)
{
}

RowWriter::~RowWriter() = default;

int RowWriter::FieldCount() const
{
    return m_layout.FieldCount();
}

void RowWriter::UpdateRow(qint64 rowid, const QString* read, const QString* values,
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
        throw RecordChangedError(m_layout.storedName);
    if (!returned && !ReadStoredRow(rowid, stored))
        throw RecordChangedError(m_layout.storedName);
}

Statement& RowWriter::UpdateStatement(unsigned long long mask, unsigned long long checked)
{
    auto found = m_updates.find({mask, checked});
    if (found != m_updates.end())
        return *found->second;
    QStringList assignments;
    int parameter = 1;
    for (int f = 0; f < FieldCount(); ++f) {
        if (mask & (1ull << f))
            assignments << QStringLiteral("%1 = ?%2")
                               .arg(Quoted(m_layout.fields[std::size_t(f)].def.Name))
                               .arg(parameter++);
    }
    QStringList conditions{QStringLiteral("%1 = ?%2").arg(m_layout.rowid).arg(parameter++)};
    for (int f = 0; f < FieldCount(); ++f) {
        if (checked & (1ull << f))
            conditions << SameValueCondition(f, parameter++);
    }
    QStringList columns;
    for (const ViewLayout::FieldInfo& field : m_layout.fields)
        columns << Quoted(field.def.Name);
    auto statement = std::make_unique<Statement>(
        m_connection,
        QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                .arg(Quoted(m_layout.storedName), assignments.join(QLatin1String(", ")),
                     conditions.join(QLatin1String(" AND "))) +
            m_connection.InsertReturning(columns.join(QLatin1String(", "))));
    Statement& result = *statement;
    m_updates.emplace(std::make_pair(mask, checked), std::move(statement));
    return result;
}

qint64 RowWriter::InsertRow(const QString* values, bool readBack, QString* stored)
{
    const int fieldCount = FieldCount();
    if (!m_insert) {
        QStringList columns;
        QStringList parameters;
        QStringList returning{m_layout.rowid}; // the row as stored, where the engine returns it
        for (const ViewLayout::FieldInfo& field : m_layout.fields) {
            returning << Quoted(field.def.Name);
            if (field.rowidAlias)
                continue;
            columns << Quoted(field.def.Name);
            parameters << QStringLiteral("?%1").arg(parameters.size() + 1);
        }
        m_insert = std::make_unique<Statement>(
            m_connection,
            (columns.isEmpty()
                 ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(Quoted(m_layout.storedName))
                 : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(Quoted(m_layout.storedName), columns.join(QLatin1String(", ")),
                            parameters.join(QLatin1String(", ")))) +
                m_connection.InsertReturning(returning.join(QLatin1String(", "))));
    }
    int parameter = 1;
    for (int f = 0; f < fieldCount; ++f) {
        if (!m_layout.fields[std::size_t(f)].rowidAlias)
            BindValue(*m_insert, parameter++, values[f], f);
    }
    qint64 returned = -1;
    try {
        if (m_insert->Step()) {
            returned = m_insert->Int(0);
            ReadValues(*m_insert, 1, stored);
            while (m_insert->Step()) {
            }
        }
    } catch (const EDatabaseError& error) {
        m_insert->Reset();
        throw Translated(error);
    }
    const qint64 changed = m_insert->Changes();
    m_insert->Reset();
    const qint64 rowid = returned >= 0 ? returned : m_connection.LastInsertRowid();
    // A view without its rows in memory has no use for the stored row: the count of
    // changed rows says whether it was added, without reading it back.
    const bool added = returned >= 0 ? changed == 1
                       : readBack    ? ReadStoredRow(rowid, stored)
                                     : changed == 1;
    if (!added)
        throw EDatabaseError(
            QStringLiteral("Запись не добавлена в таблицу «%1».").arg(m_layout.storedName));
    return rowid;
}

void RowWriter::DeleteRow(qint64 rowid, const QString* row)
{
    if (!m_delete) {
        QStringList conditions{QStringLiteral("%1 = ?1").arg(m_layout.rowid)};
        int parameter = 2;
        for (int f = 0; f < FieldCount(); ++f) {
            if (m_layout.keyMask & (1ull << f))
                conditions << SameValueCondition(f, parameter++);
        }
        m_delete = std::make_unique<Statement>(
            m_connection,
            QStringLiteral("DELETE FROM %1 WHERE %2")
                .arg(Quoted(m_layout.storedName), conditions.join(QLatin1String(" AND "))));
    }
    m_delete->BindInt(1, rowid);
    int parameter = 2;
    for (int f = 0; f < FieldCount(); ++f) {
        if (m_layout.keyMask & (1ull << f))
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
        throw RecordChangedError(m_layout.storedName);
}

std::optional<RowWriter::StoredRow> RowWriter::FindByKey(const QString& indexName,
                                                         const QStringList& values)
{
    const auto index = std::find_if(m_layout.indexes.begin(), m_layout.indexes.end(),
                                    [&](const ViewLayout::IndexInfo& i) {
                                        return i.name.compare(indexName, Qt::CaseInsensitive) == 0;
                                    });
    if (index == m_layout.indexes.end())
        throw EDatabaseError(QStringLiteral("Индекс «%1» не найден в таблице «%2».")
                                 .arg(indexName, m_layout.storedName));
    if (values.size() != qsizetype(index->fields.size()))
        throw EDatabaseError(QStringLiteral("Для индекса «%1» таблицы «%2» задано %3 значений "
                                            "вместо %4.")
                                 .arg(index->name, m_layout.storedName)
                                 .arg(values.size())
                                 .arg(index->fields.size()));
    std::unique_ptr<Statement>& find = m_keyFinds[index->name];
    if (!find) {
        QStringList columns{m_layout.rowid};
        for (const ViewLayout::FieldInfo& field : m_layout.fields)
            columns << Quoted(field.def.Name);
        // Both sides in the index's own terms, so the store matches as its key does.
        QStringList conditions;
        for (std::size_t i = 0; i < index->fields.size(); ++i) {
            const TFieldDef& def = m_layout.fields[std::size_t(index->fields[i])].def;
            const bool numeric = IsNumeric(def.DataType);
            conditions << m_connection.KeyTerm(Quoted(def.Name), index->noCase[i], numeric) +
                              QLatin1String(" = ") +
                              m_connection.KeyTerm(QStringLiteral("?%1").arg(i + 1),
                                                   index->noCase[i], numeric);
        }
        find = std::make_unique<Statement>(
            m_connection, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                              .arg(columns.join(QLatin1String(", ")), Quoted(m_layout.storedName),
                                   conditions.join(QLatin1String(" AND "))));
    }
    for (std::size_t i = 0; i < index->fields.size(); ++i)
        BindValue(*find, int(i) + 1, values[qsizetype(i)], index->fields[i]);
    std::optional<StoredRow> found;
    try {
        if (find->Step()) {
            found.emplace();
            found->Rowid = find->Int(0);
            found->Values.resize(m_layout.fields.size());
            ReadValues(*find, 1, found->Values.data());
        }
    } catch (...) {
        find->Reset();
        throw;
    }
    find->Reset();
    return found;
}

bool RowWriter::ReadStoredRow(qint64 rowid, QString* values)
{
    if (!m_select) {
        QStringList columns;
        for (const ViewLayout::FieldInfo& field : m_layout.fields)
            columns << Quoted(field.def.Name);
        m_select = std::make_unique<Statement>(
            m_connection, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                              .arg(columns.join(QLatin1String(", ")), Quoted(m_layout.storedName),
                                   m_layout.rowid));
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

QString RowWriter::SameValueCondition(int field, int parameter) const
{
    const ViewLayout::FieldInfo& info = m_layout.fields[std::size_t(field)];
    // A blank reads as empty text whether it is stored as NULL or as ''.
    if (IsNumeric(info.def.DataType))
        return QStringLiteral("%1 %2 ?%3")
            .arg(Quoted(info.def.Name), m_connection.NullSafeEquals())
            .arg(parameter);
    return QStringLiteral("coalesce(%1, '') = coalesce(?%2, '')")
        .arg(Quoted(info.def.Name))
        .arg(parameter);
}

void RowWriter::ReadValues(const Statement& stmt, int firstColumn, QString* values) const
{
    for (int f = 0; f < FieldCount(); ++f) {
        const int column = firstColumn + f;
        if (stmt.IsNull(column))
            values[f] = QString();
        else if (m_layout.fields[std::size_t(f)].def.DataType == TFieldType::Boolean)
            values[f] = stmt.Int(column) ? TableRows::TrueText() : TableRows::FalseText();
        else
            values[f] = stmt.Text(column);
    }
}

void RowWriter::BindValue(Statement& statement, int parameter, const QString& value,
                          int field) const
{
    if (value.isNull())
        statement.BindNull(parameter);
    else if (IsNumeric(m_layout.fields[std::size_t(field)].def.DataType))
        statement.BindInt(parameter, value.toLongLong());
    else
        statement.BindText(parameter, value);
}

EDatabaseError RowWriter::Translated(const EDatabaseError& error) const
{
    if (!error.IsKeyViolation())
        return error;
    const QString index = KeyViolationIndex(error.IndexName());
    return EDatabaseError(QStringLiteral("В таблице «%1» уже есть запись с таким же ключом «%2».")
                              .arg(m_layout.storedName, index),
                          EDatabaseError::Kind::KeyViolation, error.ResultCode(), index);
}

QString RowWriter::KeyViolationIndex(const QString& columns) const
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
        for (const ViewLayout::IndexInfo& index : m_layout.indexes) {
            if (index.unique != unique || index.fields.size() != std::size_t(names.size()))
                continue;
            bool same = true;
            for (std::size_t i = 0; i < index.fields.size(); ++i) {
                same = same && m_layout.fields[std::size_t(index.fields[i])].def.Name.compare(
                                   names[qsizetype(i)], Qt::CaseInsensitive) == 0;
            }
            if (same)
                return index.name;
        }
    }
    return names.join(QLatin1Char(';'));
}

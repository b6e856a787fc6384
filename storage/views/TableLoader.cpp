#include "storage/views/TableLoader.h"

#include <QStringList>

#include <utility>

#include "core/Exception.h"
#include "storage/engine/StoreConnection.h"
#include "storage/engine/TableSchema.h"

using TableSchema::Quoted;

ViewLayout TableLoader::ReadLayout(StoreConnection& connection, const QString& tableName,
                                   TFieldDefs& fieldDefs, TIndexDefs& indexDefs)
{
    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(connection, tableName);
    if (layout.Fields.size() > 64)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» содержит слишком много полей.").arg(layout.Name));
    ViewLayout view;
    view.storedName = layout.Name;
    view.rowid = connection.RowidColumn(layout);
    for (std::size_t i = 0; i < layout.Fields.size(); ++i)
        view.fields.push_back({layout.Fields[i], int(i) == layout.RowidAlias});
    // A key other than the rowid takes part in naming a row on write.
    if (const TableSchema::StoredIndex* key = layout.Primary(); key && layout.RowidAlias < 0) {
        for (int field : key->Fields)
            view.keyMask |= 1ull << field;
    }
    fieldDefs = layout.Fields;
    indexDefs.clear();
    for (const TableSchema::StoredIndex& stored : layout.Indexes) {
        ViewLayout::IndexInfo index;
        index.name = stored.Def.Name;
        index.fields = stored.Fields;
        index.noCase = stored.NoCase;
        index.unique = (stored.Def.Options & ixUnique) != 0;
        index.primary = (stored.Def.Options & ixPrimary) != 0;
        view.indexes.push_back(std::move(index));
        indexDefs.push_back(stored.Def);
    }
    return view;
}

TableLoader::TableLoader(StoreConnection& connection, const ViewLayout& layout)
    : m_connection(connection), m_layout(layout)
{
}

void TableLoader::BuildOrder(const QString& indexName)
{
    m_order.clear();
    const ViewLayout::IndexInfo* chosen = nullptr;
    if (indexName.isEmpty()) {
        for (const ViewLayout::IndexInfo& index : m_layout.indexes) {
            if (index.primary)
                chosen = &index;
        }
    } else {
        for (const ViewLayout::IndexInfo& index : m_layout.indexes) {
            if (index.name.compare(indexName, Qt::CaseInsensitive) == 0)
                chosen = &index;
        }
        if (!chosen)
            throw EDatabaseError(QStringLiteral("Индекс «%1» не найден в таблице «%2».")
                                     .arg(indexName, m_layout.storedName));
    }
    if (!chosen)
        return; // rowid order
    for (std::size_t i = 0; i < chosen->fields.size(); ++i) {
        const int field = chosen->fields[i];
        if (m_layout.fields[std::size_t(field)].rowidAlias)
            continue;
        m_order.push_back({field, chosen->noCase[i],
                           IsNumeric(m_layout.fields[std::size_t(field)].def.DataType)});
    }
}

void TableLoader::LoadRows(TableRows& rows)
{
    StoreConnection& db = m_connection;
    const int fieldCount = m_layout.FieldCount();
    m_rowsMark = db.CurrentChangeMark(); // before the read: a write meanwhile reads again

    qint64 expected = 0;
    {
        Statement count(db,
                        QStringLiteral("SELECT count(*) FROM %1").arg(Quoted(m_layout.storedName)));
        if (count.Step())
            expected = count.Int(0);
    }

    QStringList columns{m_layout.rowid};
    for (const ViewLayout::FieldInfo& field : m_layout.fields)
        columns << Quoted(field.def.Name);
    QStringList order;
    for (const TableRows::KeyPart& part : m_order) {
        order << db.OrderTerm(Quoted(m_layout.fields[std::size_t(part.field)].def.Name),
                              part.noCase, part.numeric);
    }
    order << m_layout.rowid;
    Statement select(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                             .arg(columns.join(QLatin1String(", ")), Quoted(m_layout.storedName),
                                  order.join(QLatin1String(", "))));

    std::vector<bool> boolean;
    for (const ViewLayout::FieldInfo& field : m_layout.fields)
        boolean.push_back(field.def.DataType == TFieldType::Boolean);
    rows.Reset(fieldCount, m_order);
    rows.Read(select, boolean, expected);
}

bool TableLoader::RowsUnchanged() const
{
    return m_rowsMark && m_connection.CurrentChangeMark() == m_rowsMark;
}

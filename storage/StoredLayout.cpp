#include "storage/StoredLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>

#include "storage/StoreConnection.h"

namespace {

enum class Kind
{
    Text,
    Boolean,
    Integer
};

Kind KindOf(TFieldType type)
{
    switch (type) {
    case TFieldType::Boolean:
        return Kind::Boolean;
    case TFieldType::Integer:
    case TFieldType::AutoInc:
        return Kind::Integer;
    case TFieldType::String:
        break;
    }
    return Kind::Text;
}

// The same reading of a declared type as the table views make.
Kind KindOf(const QString& declared)
{
    const QString type = declared.trimmed().toUpper();
    if (type.startsWith(QLatin1String("BOOL")) || type == QLatin1String("LOGICAL"))
        return Kind::Boolean;
    if (type.contains(QLatin1String("INT")))
        return Kind::Integer;
    return Kind::Text;
}

QString Text(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

// Runs a read and hands each row to the visitor; false when the statement failed.
template <typename Visit>
bool EachRow(sqlite3* db, const QString& sql, const QString& parameter, Visit&& visit)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const QByteArray bound = parameter.toUtf8();
    if (!parameter.isNull())
        sqlite3_bind_text(stmt, 1, bound.constData(), int(bound.size()), SQLITE_STATIC);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        visit(stmt);
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

QString Quoted(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

} // namespace

QString TStoredLayout::StoreFile(const QString& folder)
{
    QString dir = QDir::fromNativeSeparators(folder);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return QDir::toNativeSeparators(dir + QLatin1String(StoreConnection::FileName));
}

TStoredLayout TStoredLayout::Read(const QString& folder, const QString& tableName)
{
    TStoredLayout layout;
    layout.m_filePath = StoreFile(folder);
    if (!QFileInfo(layout.m_filePath).isFile())
        return layout;

    // Without a write-ahead log beside it the file alone is the store: read it as immutable,
    // so not even an empty log or shared-memory file is left behind.
    const bool logged = QFileInfo::exists(layout.m_filePath + QStringLiteral("-wal"));
    const QByteArray uri =
        QUrl::fromLocalFile(QDir::fromNativeSeparators(layout.m_filePath)).toEncoded() +
        (logged ? "?mode=ro" : "?immutable=1");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return layout;
    }
    EachRow(db,
            QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                           "AND name = ?1 COLLATE NOCASE"),
            StoreConnection::BareTableName(tableName),
            [&](sqlite3_stmt* row) { layout.m_name = Text(row, 0); });
    if (!layout.m_name.isEmpty()) {
        const bool read =
            EachRow(db, QStringLiteral("PRAGMA table_info(%1)").arg(Quoted(layout.m_name)), {},
                    [&](sqlite3_stmt* row) {
                        TFieldDef field;
                        field.Name = Text(row, 1);
                        const Kind kind = KindOf(Text(row, 2));
                        field.DataType = kind == Kind::Boolean   ? TFieldType::Boolean
                                         : kind == Kind::Integer ? TFieldType::Integer
                                                                 : TFieldType::String;
                        layout.m_fields.push_back(field);
                    }) &&
            EachRow(db, QStringLiteral("PRAGMA index_list(%1)").arg(Quoted(layout.m_name)), {},
                    [&](sqlite3_stmt* row) {
                        QString name = Text(row, 1);
                        const QString prefix = layout.m_name + QLatin1Char('.');
                        if (name.startsWith(prefix, Qt::CaseInsensitive))
                            name = name.mid(prefix.size());
                        layout.m_indexes << name;
                    });
        layout.m_exists = read;
    }
    sqlite3_close(db);
    return layout;
}

QString TStoredLayout::Lacks(const TFieldDefs& fields, const QStringList& indexNames) const
{
    QStringList lacks;
    for (const TFieldDef& wanted : fields) {
        const auto stored = std::find_if(m_fields.begin(), m_fields.end(), [&](const TFieldDef& f) {
            return f.Name.compare(wanted.Name, Qt::CaseInsensitive) == 0;
        });
        if (stored == m_fields.end())
            lacks << QStringLiteral("нет поля «%1»").arg(wanted.Name);
        else if (KindOf(stored->DataType) != KindOf(wanted.DataType))
            lacks << QStringLiteral("поле «%1» другого типа").arg(wanted.Name);
    }
    for (const QString& index : indexNames) {
        if (!m_indexes.contains(index, Qt::CaseInsensitive))
            lacks << QStringLiteral("нет индекса «%1»").arg(index);
    }
    return lacks.join(QStringLiteral(", "));
}

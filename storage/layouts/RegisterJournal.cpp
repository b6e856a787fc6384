#include "storage/layouts/RegisterJournal.h"

#include <QCryptographicHash>

#include "storage/layouts/Layouts.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "storage/engine/TableSchema.h"

namespace {

constexpr const char* MadeFormat = "yyyy-MM-ddTHH:mm:ss";

// The columns every read and write names, in the layout's order after the identity.
QString Columns(bool withId)
{
    QStringList names;
    for (const TFieldDef& field : Layouts::RegisterFields()) {
        if ((field.DataType == TFieldType::AutoInc && !withId) ||
            field.DataType == TFieldType::Blob)
            continue;
        names << TableSchema::Quoted(field.Name);
    }
    return names.join(QLatin1String(", "));
}

// "2026-12-10T11:05:00" as local time; read by position, as the format parser costs more
// than the rest of a row.
QDateTime ReadMade(const QString& text)
{
    if (text.size() != 19)
        return QDateTime::fromString(text, QLatin1String(MadeFormat));
    const auto number = [&text](int from, int length) {
        return QStringView(text).mid(from, length).toInt();
    };
    return QDateTime(QDate(number(0, 4), number(5, 2), number(8, 2)),
                     QTime(number(11, 2), number(14, 2), number(17, 2)));
}

} // namespace

TRegisterJournal::TRegisterJournal(QString folder) : m_folder(std::move(folder)) {}

void TRegisterJournal::Ensure() const
{
    TTable table;
    table.SetDatabaseName(m_folder);
    table.SetTableName(QString::fromLatin1(Layouts::RegisterTableName));
    if (table.Exists())
        return;
    table.FieldDefs() = Layouts::RegisterFields();
    table.IndexDefs() = Layouts::RegisterIndexes();
    table.CreateTable();
}

QString TRegisterJournal::Digest(const QByteArray& content)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

qint64 TRegisterJournal::Add(TRegisterEntry entry, const QByteArray& content) const
{
    const std::shared_ptr<StoreConnection> store = Session().Connect(m_folder, false);
    Statement insert(*store, QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?1, ?2, ?3, ?4, ?5, "
                                            "?6, ?7, ?8, ?9, ?10)")
                                 .arg(QLatin1String(Layouts::RegisterTableName), Columns(false),
                                      TableSchema::Quoted(QStringLiteral("Content"))) +
                                 store->InsertReturning(TableSchema::Quoted(QStringLiteral("Id"))));
    entry.Sha256 = Digest(content);
    // Texts cut to their columns, as every write of the store cuts them.
    const TFieldDefs fields = Layouts::RegisterFields();
    const auto cut = [&fields](const QString& text, const char* name) {
        return TableSchema::CutToSize(text, Layouts::FieldSize(fields, QLatin1String(name)));
    };
    insert.BindText(1, entry.Made.toString(QLatin1String(MadeFormat)));
    insert.BindText(2, cut(entry.Org, "Org120"));
    insert.BindText(3, entry.Kind);
    insert.BindText(4, entry.FileName);
    insert.BindInt(5, entry.Employees);
    insert.BindText(6, entry.Total);
    insert.BindText(7, entry.Sha256);
    insert.BindText(8, cut(entry.UserName, "UserName"));
    insert.BindText(9, cut(entry.Host, "Host"));
    insert.BindBlob(10, content);
    qint64 id = -1;
    if (insert.Step()) { // a row where the engine returns the identity
        id = insert.Int(0);
        while (insert.Step()) {
        }
    }
    if (insert.Changes() != 1)
        throw EDatabaseError(QStringLiteral("Запись о файле «%1» не добавлена в журнал выгрузок.")
                                 .arg(entry.FileName));
    insert.Reset();
    return id >= 0 ? id : store->LastInsertRowid();
}

qint64 TRegisterJournal::AddNumbered(TRegisterEntry entry,
                                    const std::function<QByteArray(qint64)>& write,
                                    const std::function<void()>& remove) const
{
    TTransaction transaction(m_folder);
    // The row first, with no bytes yet: its identity is the number the file prints.
    const qint64 id = Add(entry, QByteArray(""));
    const QByteArray content = write(id);
    try {
        const std::shared_ptr<StoreConnection> store = Session().Connect(m_folder, false);
        Statement update(*store, QStringLiteral("UPDATE %1 SET %2 = ?1, %3 = ?2 WHERE %4 = ?3")
                                     .arg(QLatin1String(Layouts::RegisterTableName),
                                          TableSchema::Quoted(QStringLiteral("Sha256")),
                                          TableSchema::Quoted(QStringLiteral("Content")),
                                          TableSchema::Quoted(QStringLiteral("Id"))));
        update.BindText(1, Digest(content));
        update.BindBlob(2, content);
        update.BindInt(3, id);
        while (update.Step()) {
        }
        if (update.Changes() != 1)
            throw EDatabaseError(
                QStringLiteral("Запись о файле «%1» не добавлена в журнал выгрузок.")
                    .arg(entry.FileName));
        update.Reset();
        transaction.Commit();
    } catch (...) {
        remove();
        throw;
    }
    return id;
}

std::vector<TRegisterEntry> TRegisterJournal::Entries() const
{
    const std::shared_ptr<StoreConnection> store = Session().Connect(m_folder, false);
    Statement select(*store, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 DESC")
                                 .arg(Columns(true), QLatin1String(Layouts::RegisterTableName),
                                      TableSchema::Quoted(QStringLiteral("Id"))));
    std::vector<TRegisterEntry> entries;
    while (select.Step()) {
        TRegisterEntry entry;
        entry.Id = select.Int(0);
        entry.Made = ReadMade(select.Text(1));
        entry.Org = select.Text(2);
        entry.Kind = select.Text(3);
        entry.FileName = select.Text(4);
        entry.Employees = int(select.Int(5));
        entry.Total = select.Text(6);
        entry.Sha256 = select.Text(7);
        entry.UserName = select.Text(8);
        entry.Host = select.Text(9);
        entries.push_back(std::move(entry));
    }
    select.Reset();
    return entries;
}

QByteArray TRegisterJournal::Content(qint64 id) const
{
    const std::shared_ptr<StoreConnection> store = Session().Connect(m_folder, false);
    Statement select(*store, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?1")
                                 .arg(TableSchema::Quoted(QStringLiteral("Content")),
                                      QLatin1String(Layouts::RegisterTableName),
                                      TableSchema::Quoted(QStringLiteral("Id"))));
    select.BindInt(1, id);
    QByteArray content;
    if (select.Step()) {
        content = select.Blob(0);
        if (content.isNull())
            content = QByteArray(""); // an empty file, kept
    }
    select.Reset();
    return content;
}

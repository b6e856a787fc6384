#include "storage/backup/StoreBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include "core/Exception.h"
#include "core/SystemReason.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/layouts/Layouts.h"
#include "storage/engine/sqlite/SqliteStore.h"
#include "storage/engine/StoreConnection.h"
#include "storage/engine/TableSchema.h"
#include "storage/views/TSession.h"

namespace {

QString FailureMessage(const QString& target, const QString& reason)
{
    return QStringLiteral("Не удалось сделать резервную копию базы данных в «%1»: %2")
        .arg(QDir::toNativeSeparators(target), reason);
}

// The backup folder, made when missing, for the office's group only.
QString PrepareFolder(const QString& dataFolder)
{
    const QString folder = TStoreBackup::Folder(dataFolder);
    if (QFileInfo(folder).isDir())
        return folder;
    if (!QDir().mkpath(folder))
        throw Exception(FailureMessage(folder, QStringLiteral("не удалось создать папку.")));
    QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
#ifdef Q_OS_WIN
                    | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther
#endif
    );
    return folder;
}

// SQLite makes a new file 0644 less the umask: a copy gets the store's own permissions.
void ShareWithGroup(const QString& file)
{
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::WriteGroup
#ifdef Q_OS_WIN
                                    | QFileDevice::ReadOther | QFileDevice::WriteOther
#endif
    );
}

// Keeps the newest copies of one kind; their names sort by their time.
void RemoveOldCopies(const QString& folder, const QRegularExpression& kind, int kept)
{
    QStringList copies;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
        if (kind.match(name).hasMatch())
            copies << name;
    }
    for (qsizetype i = kept; i < copies.size(); ++i)
        QFile::remove(folder + copies[i]);
}

// The tables of one store written into another that holds neither, rows with their
// identities, in one transaction of each so the copy is one moment of the tables and the
// target gets all of them or none.
void CopyTables(StoreConnection& from, StoreConnection& to,
                const TStoreBackup::Progress& progress = {})
{
    qint64 total = 0;
    qint64 copied = 0;
    from.Begin();
    to.Begin();
    try {
        if (from.IsServer())
            from.Exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        QStringList tables;
        for (const char* name : Layouts::StoreTables) {
            const QString stored = from.FindTable(QLatin1String(name));
            if (!stored.isEmpty())
                tables << stored;
        }
        if (progress) {
            for (const QString& stored : tables)
                total += from.QueryText(QStringLiteral("SELECT count(*) FROM %1")
                                            .arg(TableSchema::Quoted(stored)))
                             .toLongLong();
            progress(0, total);
        }
        for (const QString& stored : tables) {
            const TableSchema::StoredLayout layout = from.ReadNamedLayout(stored);
            TIndexDefs indexes;
            for (const TableSchema::StoredIndex& index : layout.Indexes)
                indexes.push_back(index.Def);
            // The indexes are made over the copied rows: one sort instead of a tree grown
            // row by row.
            QStringList afterRows;
            for (const QString& statement : to.CreateStatements(stored, layout.Fields, indexes)) {
                if (statement.startsWith(QLatin1String("CREATE INDEX")) ||
                    statement.startsWith(QLatin1String("CREATE UNIQUE INDEX")))
                    afterRows << statement;
                else
                    to.Exec(statement);
            }
            QStringList columns;
            QStringList parameters;
            for (const TFieldDef& field : layout.Fields) {
                columns << TableSchema::Quoted(field.Name);
                parameters << QStringLiteral("?%1").arg(parameters.size() + 1);
            }
            const QString list = columns.join(QLatin1String(", "));
            Statement select(from, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                       .arg(list, TableSchema::Quoted(stored),
                                            from.RowidColumn(layout)));
            Statement insert(to, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                     .arg(TableSchema::Quoted(stored), list,
                                          parameters.join(QLatin1String(", "))));
            while (select.Step()) {
                for (int f = 0; f < int(layout.Fields.size()); ++f) {
                    if (select.IsNull(f))
                        insert.BindNull(f + 1);
                    else if (layout.Fields[std::size_t(f)].DataType == TFieldType::String)
                        insert.BindText(f + 1, select.Text(f));
                    else if (layout.Fields[std::size_t(f)].DataType == TFieldType::Blob)
                        insert.BindBlob(f + 1, select.Blob(f));
                    else
                        insert.BindInt(f + 1, select.Int(f));
                }
                insert.Step();
                insert.Reset();
                if (progress && ++copied % 1000 == 0)
                    progress(copied, total);
            }
            for (const QString& statement : afterRows)
                to.Exec(statement);
            // A server's identity column counts on from the highest identity copied.
            if (to.IsServer() && layout.RowidAlias >= 0) {
                const QString column = layout.Fields[std::size_t(layout.RowidAlias)].Name;
                Statement restart(to, QStringLiteral("SELECT setval(pg_get_serial_sequence(?1, "
                                                     "?2), (SELECT max(%1) FROM %2))")
                                          .arg(TableSchema::Quoted(column),
                                               TableSchema::Quoted(stored)));
                restart.BindText(1, TableSchema::Quoted(stored));
                restart.BindText(2, column); // a column name here is taken as it is spelt
                restart.Step();
            }
        }
        to.Commit();
        from.Commit();
    } catch (...) {
        if (to.Depth() > 0)
            to.Rollback();
        if (from.Depth() > 0)
            from.Rollback();
        throw;
    }
}

void CopyServerTables(StoreConnection& store, const QString& part)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(part.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    SqliteConnection copy(db, part);
    if (rc != SQLITE_OK)
        throw StoreError(db, rc, part);
    Collation::Register(db);
    CopyTables(store, copy);
}

} // namespace

void TStoreBackup::CopyToServer(StoreConnection& local, StoreConnection& server,
                                const Progress& progress)
{
    const QString employees = local.FindTable(QLatin1String(Layouts::EmployeeTableName));
    if (!employees.isEmpty()) {
        const TableSchema::StoredLayout layout = local.ReadNamedLayout(employees);
        const TableSchema::StoredIndex* key = layout.FindIndex(Layouts::EmployeeIndex);
        if (key && !(key->Def.Options & ixUnique))
            throw EDatabaseError(
                QStringLiteral("В таблице сотрудников есть записи с одинаковыми ФИО и счетом "
                               "(их список программа показывает при запуске). Исправьте их, "
                               "перезапустите программу и перенесите таблицы снова."));
    }
    for (const char* name : Layouts::StoreTables) {
        const QString stored = server.FindTable(QLatin1String(name));
        if (!stored.isEmpty())
            throw EDatabaseError(QStringLiteral("На сервере уже есть таблица «%1» (%2): "
                                                "таблицы переносятся только в пустую базу данных.")
                                     .arg(stored, server.FilePath()));
    }
    CopyTables(local, server, progress);
}

void TStoreBackup::RemoveFromServer(StoreConnection& server)
{
    server.Begin();
    try {
        for (const char* name : Layouts::StoreTables) {
            const QString stored = server.FindTable(QLatin1String(name));
            if (!stored.isEmpty())
                server.Exec(QStringLiteral("DROP TABLE %1").arg(TableSchema::Quoted(stored)));
        }
        server.Commit();
    } catch (...) {
        if (server.Depth() > 0)
            server.Rollback();
        throw;
    }
}

QString TStoreBackup::Folder(const QString& dataFolder)
{
    QString folder = QDir::fromNativeSeparators(dataFolder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QLatin1String("backup/");
}

QString TStoreBackup::MakeDaily(const QString& dataFolder, const QDate& today)
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(dataFolder, false);
    if (!connection)
        return {};
    const QString folder = PrepareFolder(dataFolder);
    const QString target =
        folder + QStringLiteral("store-%1.sqlite3").arg(today.toString(QStringLiteral("yyyyMMdd")));
    if (QFileInfo::exists(target))
        return {};
    Copy(*connection, target);
    static const QRegularExpression daily(QStringLiteral("^store-\\d{8}\\.sqlite3$"));
    RemoveOldCopies(folder, daily, DailyCopies);
    return target;
}

QString TStoreBackup::MakeBeforeChange(const QString& dataFolder, const QDateTime& now)
{
    const std::shared_ptr<StoreConnection> connection = Session().Connect(dataFolder, false);
    if (!connection)
        return {};
    const QString folder = PrepareFolder(dataFolder);
    const QString target =
        folder +
        QStringLiteral("store-%1.sqlite3").arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    if (!QFileInfo::exists(target))
        Copy(*connection, target);
    static const QRegularExpression change(QStringLiteral("^store-\\d{8}-\\d{6}\\.sqlite3$"));
    RemoveOldCopies(folder, change, ChangeCopies);
    return target;
}

void TStoreBackup::Copy(StoreConnection& store, const QString& target)
{
    auto* sqlite = dynamic_cast<SqliteConnection*>(&store);
    if (!sqlite) {
        const QString part = target + QLatin1String(".part");
        QFile::remove(part);
        try {
            CopyServerTables(store, part);
        } catch (const EDatabaseError& error) {
            QFile::remove(part);
            throw Exception(FailureMessage(target, error.Message()));
        }
        ShareWithGroup(part);
        if (!QFile::rename(part, target)) {
            QFile::remove(part);
            throw Exception(FailureMessage(
                target, QStringLiteral("не удалось переименовать «%1».")
                            .arg(QDir::toNativeSeparators(part))));
        }
        return;
    }
    SqliteConnection& connection = *sqlite;
    const QString part = target + QLatin1String(".part");
    QFile::remove(part);
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(part.toUtf8().constData(), &copy,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(copy, "main", connection.Handle(), "main");
        if (backup) {
            rc = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        } else {
            rc = sqlite3_extended_errcode(copy);
        }
    }
    if (rc == SQLITE_OK) // one file of its own, without a write-ahead log beside it
        rc = sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
    QString reason;
    if (rc != SQLITE_OK) {
        reason = StoreError(copy, rc, part).Message();
        if (const int systemError = copy ? sqlite3_system_errno(copy) : 0)
            reason += QStringLiteral(" Причина: %1.").arg(SystemReason::FromErrno(systemError));
    }
    sqlite3_close(copy);
    if (rc == SQLITE_OK)
        ShareWithGroup(part);
    QFile partFile(part);
    if (rc == SQLITE_OK && !partFile.rename(target))
        reason = QStringLiteral("не удалось переименовать «%1»: %2.")
                     .arg(QDir::toNativeSeparators(part),
                          SystemReason::InRussian(partFile.errorString()));
    if (!reason.isEmpty()) {
        QFile::remove(part);
        throw Exception(FailureMessage(target, reason));
    }
}

#include "storage/engine/sqlite/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

#include <sqlite3.h>

#include "storage/engine/sqlite/Collation.h"
#include "storage/engine/TableSchema.h"

namespace {

QString SqliteMessage(sqlite3* db, int rc)
{
    if (db && sqlite3_extended_errcode(db) == rc)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

// Whether the text after the first statement holds another one (not only blanks,
// semicolons or comments).
bool HoldsStatement(sqlite3* db, const char* tail, const char* end)
{
    while (tail < end) {
        sqlite3_stmt* next = nullptr;
        const char* rest = nullptr;
        const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, &rest);
        if (rc != SQLITE_OK || next) {
            sqlite3_finalize(next);
            return true;
        }
        if (!rest || rest <= tail)
            return false;
        tail = rest;
    }
    return false;
}

} // namespace

EDatabaseError StoreError(sqlite3* db, int rc, const QString& filePath)
{
    using Kind = EDatabaseError::Kind;
    const QString detail = SqliteMessage(db, rc);
    // A trigger that stands in for a unique index refuses a row in the index's own words.
    if (rc == SQLITE_CONSTRAINT_TRIGGER &&
        detail.startsWith(QLatin1String(TableSchema::UniqueGuardMessage)))
        rc = SQLITE_CONSTRAINT_UNIQUE;
    switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: {
        // "UNIQUE constraint failed: base.Fio100, base.Accnt": the columns go along so the
        // view can name its index.
        const qsizetype colon = detail.indexOf(QLatin1Char(':'));
        return EDatabaseError(QStringLiteral("Запись с таким ключом уже существует."),
                              Kind::KeyViolation, rc,
                              colon < 0 ? QString() : detail.mid(colon + 1).trimmed());
    }
    case SQLITE_CONSTRAINT_NOTNULL:
        return EDatabaseError(QStringLiteral("Не заполнено обязательное поле: %1").arg(detail),
                              Kind::RequiredBlank, rc);
    default:
        break;
    }
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return EDatabaseError(QStringLiteral("База данных «%1» занята другой программой. "
                                             "Повторите попытку позже.")
                                  .arg(QDir::toNativeSeparators(filePath)),
                              Kind::Locked, rc);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return EDatabaseError(QStringLiteral("Файл «%1» не является базой данных или повреждён.")
                                  .arg(QDir::toNativeSeparators(filePath)),
                              Kind::Damaged, rc);
    case SQLITE_FULL:
        return EDatabaseError(QStringLiteral("Недостаточно места на диске для записи в «%1».")
                                  .arg(QDir::toNativeSeparators(filePath)),
                              Kind::General, rc);
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return EDatabaseError(
            QStringLiteral("Нет прав на запись в «%1».").arg(QDir::toNativeSeparators(filePath)),
            Kind::General, rc);
    case SQLITE_CANTOPEN:
        return EDatabaseError(
            QStringLiteral("Не удалось открыть файл «%1».").arg(QDir::toNativeSeparators(filePath)),
            Kind::General, rc);
    default:
        return EDatabaseError(QStringLiteral("Ошибка базы данных «%1»: %2")
                                  .arg(QDir::toNativeSeparators(filePath), detail),
                              Kind::General, rc);
    }
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql, const QString& filePath)
    : m_db(db), m_filePath(filePath)
{
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        const int extended = sqlite3_extended_errcode(db);
        const QString message = SqliteMessage(db, extended);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        const int primary = extended & 0xFF;
        if (primary == SQLITE_ERROR)
            throw EDatabaseError(
                QStringLiteral("Ошибка выполнения запроса «%1»: %2").arg(sql, message),
                EDatabaseError::Kind::General, extended);
        throw StoreError(db, extended, filePath);
    }
    if (tail && HoldsStatement(db, tail, text.constData() + text.size())) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw EDatabaseError(
            QStringLiteral("Запрос «%1» содержит больше одного оператора; выполняется только "
                           "один оператор за раз.")
                .arg(sql));
    }
    if (!m_stmt)
        throw EDatabaseError(QStringLiteral("Запрос пуст: нет оператора для выполнения."));
    m_scratch.resize(std::size_t(sqlite3_bind_parameter_count(m_stmt)) + 1);
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqliteStatement::CheckBind(int rc, int index)
{
    if (rc == SQLITE_OK)
        return;
    if (rc == SQLITE_RANGE)
        throw EDatabaseError(QStringLiteral("Параметра %1 нет в запросе.").arg(index),
                             EDatabaseError::Kind::General, rc);
    throw StoreError(m_db, rc, m_filePath);
}

void SqliteStatement::BindNull(int index)
{
    CheckBind(sqlite3_bind_null(m_stmt, index), index);
}

void SqliteStatement::BindText(int index, const QString& text)
{
    if (text.isEmpty()) {
        BindNull(index);
        return;
    }
    if (index <= 0 || index >= int(m_scratch.size()))
        throw EDatabaseError(QStringLiteral("Параметра %1 нет в запросе.").arg(index),
                             EDatabaseError::Kind::General, SQLITE_RANGE);
    QByteArray& bytes = m_scratch[std::size_t(index)];
    bytes = text.toUtf8();
    CheckBind(sqlite3_bind_text(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC),
              index);
}

void SqliteStatement::BindInt(int index, qint64 value)
{
    CheckBind(sqlite3_bind_int64(m_stmt, index, value), index);
}

void SqliteStatement::BindBlob(int index, QByteArrayView bytes)
{
    if (index <= 0 || index >= int(m_scratch.size()))
        throw EDatabaseError(QStringLiteral("Параметра %1 нет в запросе.").arg(index),
                             EDatabaseError::Kind::General, SQLITE_RANGE);
    QByteArray& kept = m_scratch[std::size_t(index)];
    kept = bytes.toByteArray();
    // An empty file is stored as zero bytes, not as NULL.
    CheckBind(sqlite3_bind_blob64(m_stmt, index, kept.isEmpty() ? "" : kept.constData(),
                                  sqlite3_uint64(kept.size()), SQLITE_STATIC),
              index);
}

bool SqliteStatement::Step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int extended = sqlite3_extended_errcode(m_db);
    EDatabaseError error = StoreError(m_db, extended, m_filePath);
    sqlite3_reset(m_stmt);
    throw error;
}

void SqliteStatement::Reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::shared_ptr<SqliteConnection> SqliteConnection::Open(const QString& folder, bool create,
                                                         int busyTimeoutMs)
{
    QString dir = QDir::fromNativeSeparators(folder);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    const QString filePath = QDir::toNativeSeparators(dir + QLatin1String(FileName));
    const bool isNew = !QFileInfo::exists(filePath);
    if (isNew) {
        if (!create)
            return nullptr;
        if (!QFileInfo(dir).isDir())
            throw EDatabaseError(QStringLiteral("Папка данных «%1» не существует.")
                                     .arg(QDir::toNativeSeparators(dir)),
                                 EDatabaseError::Kind::General, SQLITE_CANTOPEN);
    }

    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(filePath.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const EDatabaseError error = StoreError(db, sqlite3_extended_errcode(db), filePath);
        sqlite3_close(db);
        throw error;
    }
    sqlite3_extended_result_codes(db, 1);
    auto connection = std::make_shared<SqliteConnection>(db, filePath);
    rc = sqlite3_busy_timeout(db, busyTimeoutMs);
    if (rc != SQLITE_OK)
        throw StoreError(db, rc, filePath);
    rc = Collation::Register(db);
    if (rc != SQLITE_OK)
        throw EDatabaseError(QStringLiteral("Не удалось подключить порядок сравнения %1 к «%2»: %3")
                                 .arg(QLatin1String(Collation::RuNoCaseName),
                                      QDir::toNativeSeparators(filePath),
                                      QString::fromUtf8(sqlite3_errstr(rc))),
                             EDatabaseError::Kind::General, rc);
    // The first statement reads the file header: a file that is no database fails here,
    // before anything is written to it.
    connection->Exec(QStringLiteral("PRAGMA schema_version"));
    if (isNew) {
        // The office's group works on the same tables, nobody else reads them; SQLite gives
        // its journal files the permissions of the database file.
        QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadGroup | QFileDevice::WriteGroup
#ifdef Q_OS_WIN
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther
#endif
        );
    }
    const QString mode = connection->QueryText(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw EDatabaseError(
            QStringLiteral("Для базы данных «%1» нельзя включить журнал WAL (действует режим "
                           "«%2»): без него одновременная работа нескольких программ с базой "
                           "небезопасна.")
                .arg(QDir::toNativeSeparators(filePath), mode),
            EDatabaseError::Kind::General);
    connection->Exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // Savepoint journals stay in memory: a pass with a savepoint per row writes no temp file.
    connection->Exec(QStringLiteral("PRAGMA temp_store=MEMORY"));
    connection->ReindexForCollation();
    // Reads go through the page cache of the system, without a copy per page.
    connection->Exec(QStringLiteral("PRAGMA mmap_size=268435456"));
    return connection;
}

std::shared_ptr<SqliteConnection> SqliteConnection::OpenReadOnly(const QString& folder)
{
    const QString file = TableSchema::StoreFile(folder);
    if (!QFileInfo(file).isFile())
        return nullptr;

    // Without a write-ahead log beside it the file alone is the store: read it as immutable,
    // so not even an empty log or shared-memory file is left behind.
    const bool logged = QFileInfo::exists(file + QStringLiteral("-wal"));
    const QByteArray uri = QUrl::fromLocalFile(QDir::fromNativeSeparators(file)).toEncoded() +
                           (logged ? "?mode=ro" : "?immutable=1");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return std::make_shared<SqliteConnection>(db, file);
}

SqliteConnection::SqliteConnection(sqlite3* db, QString filePath)
    : StoreConnection(std::move(filePath)), m_db(db)
{
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(m_db);
}

void SqliteConnection::ReindexForCollation()
{
    // Indexes built under an older RU_NOCASE order would no longer be sorted: SQLite would
    // miss rows in them and let duplicates through.
    if (QueryText(QStringLiteral("PRAGMA user_version")).toInt() >= Collation::Version)
        return;
    Begin();
    try {
        if (QueryText(QStringLiteral("PRAGMA user_version")).toInt() < Collation::Version) {
            Exec(QStringLiteral("REINDEX %1").arg(QLatin1String(Collation::RuNoCaseName)));
            Exec(QStringLiteral("PRAGMA user_version = %1").arg(Collation::Version));
        }
        Commit();
    } catch (...) {
        if (Depth() > 0)
            Rollback();
        throw;
    }
}

bool SqliteStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 SqliteStatement::Int(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QByteArrayView SqliteStatement::Utf8(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (!text)
        return {};
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

QByteArray SqliteStatement::Blob(int column) const
{
    const void* bytes = sqlite3_column_blob(m_stmt, column);
    return bytes ? QByteArray(static_cast<const char*>(bytes), sqlite3_column_bytes(m_stmt, column))
                 : QByteArray();
}

qint64 SqliteStatement::Changes() const
{
    return sqlite3_changes64(m_db);
}

std::unique_ptr<StoreStatement> SqliteConnection::Prepare(const QString& sql)
{
    return std::make_unique<SqliteStatement>(m_db, sql, FilePath());
}

bool SqliteConnection::RunColumnStatement(const QString&)
{
    return false;
}

QString SqliteConnection::RowidColumn(const TableSchema::StoredLayout&) const
{
    return QStringLiteral("rowid");
}

QString SqliteConnection::OrderTerm(const QString& quotedColumn, bool noCase, bool numeric) const
{
    return KeyTerm(quotedColumn, noCase, numeric);
}

QString SqliteConnection::KeyTerm(const QString& quotedColumn, bool noCase, bool) const
{
    return quotedColumn + QLatin1String(" COLLATE ") +
           (noCase ? QLatin1String(Collation::RuNoCaseName) : QLatin1String("BINARY"));
}

QString SqliteConnection::NullSafeEquals() const
{
    return QStringLiteral("IS");
}

QString SqliteConnection::InsertReturning(const QString&) const
{
    return {};
}

qint64 SqliteConnection::LastInsertRowid()
{
    return sqlite3_last_insert_rowid(m_db);
}

std::optional<StoreConnection::ChangeMark> SqliteConnection::CurrentChangeMark()
{
    // data_version moves with the commits of other connections, the change count with the
    // rows this one wrote (rolled back ones too, which only costs a read).
    return ChangeMark{QueryText(QStringLiteral("PRAGMA data_version")).toLongLong(),
                      sqlite3_total_changes64(m_db)};
}

QString SqliteConnection::BeginStatement() const
{
    return QStringLiteral("BEGIN IMMEDIATE");
}

bool SqliteConnection::InTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

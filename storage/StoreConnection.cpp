#include "storage/StoreConnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sqlite3.h>

#include "storage/Collation.h"
#include "storage/StoreObserver.h"
#include "storage/TableSchema.h"

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

Statement::Statement(sqlite3* db, const QString& sql, const QString& filePath)
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

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)),
      m_filePath(std::move(other.m_filePath)), m_scratch(std::move(other.m_scratch))
{
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_filePath = std::move(other.m_filePath);
        m_scratch = std::move(other.m_scratch);
    }
    return *this;
}

void Statement::CheckBind(int rc, int index)
{
    if (rc == SQLITE_OK)
        return;
    if (rc == SQLITE_RANGE)
        throw EDatabaseError(QStringLiteral("Параметра %1 нет в запросе.").arg(index),
                             EDatabaseError::Kind::General, rc);
    throw StoreError(m_db, rc, m_filePath);
}

void Statement::BindNull(int index)
{
    CheckBind(sqlite3_bind_null(m_stmt, index), index);
}

void Statement::BindText(int index, const QString& text)
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

void Statement::BindInt(int index, qint64 value)
{
    CheckBind(sqlite3_bind_int64(m_stmt, index, value), index);
}

bool Statement::Step()
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

void Statement::Reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::shared_ptr<StoreConnection> StoreConnection::Open(const QString& folder, bool create,
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
    std::shared_ptr<StoreConnection> connection(new StoreConnection(db, filePath));
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
        // Every user of the machine works on the same tables; SQLite gives its journal
        // files the permissions of the database file.
        QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther);
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

StoreConnection::StoreConnection(sqlite3* db, QString filePath)
    : m_db(db), m_filePath(std::move(filePath))
{
}

StoreConnection::~StoreConnection()
{
    sqlite3_close_v2(m_db);
}

void StoreConnection::Exec(const QString& sql)
{
    Statement statement(m_db, sql, m_filePath);
    while (statement.Step()) {
    }
}

void StoreConnection::ReindexForCollation()
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
        if (m_depth > 0)
            Rollback();
        throw;
    }
}

QString StoreConnection::QueryText(const QString& sql)
{
    Statement statement(m_db, sql, m_filePath);
    QString text;
    if (statement.Step()) {
        const auto* bytes =
            reinterpret_cast<const char*>(sqlite3_column_text(statement.Handle(), 0));
        text = bytes ? QString::fromUtf8(bytes) : QString();
    }
    while (statement.Step()) {
    }
    return text;
}

QString StoreConnection::BareTableName(const QString& name)
{
    return TableSchema::BareTableName(name);
}

QString StoreConnection::FindTable(const QString& name)
{
    return TableSchema::FindTable(*this, name);
}

void StoreConnection::Begin()
{
    if (m_depth == 0)
        Exec(QStringLiteral("BEGIN IMMEDIATE"));
    else
        Exec(QStringLiteral("SAVEPOINT s%1").arg(m_depth));
    ++m_depth;
}

void StoreConnection::Commit()
{
    try {
        if (m_depth == 1)
            Exec(QStringLiteral("COMMIT"));
        else
            Exec(QStringLiteral("RELEASE s%1").arg(m_depth - 1));
    } catch (...) {
        // A commit that fails (a deferred constraint, a full disk) leaves the transaction
        // open: undo the scope so no later one runs inside it, then report the failure.
        Rollback();
        throw;
    }
    --m_depth;
}

void StoreConnection::Rollback()
{
    --m_depth;
    try {
        if (m_depth == 0) {
            if (!sqlite3_get_autocommit(m_db))
                Exec(QStringLiteral("ROLLBACK"));
        } else {
            Exec(QStringLiteral("ROLLBACK TO s%1").arg(m_depth));
            Exec(QStringLiteral("RELEASE s%1").arg(m_depth));
        }
    } catch (...) {
        NotifyRolledBack();
        throw;
    }
    NotifyRolledBack();
}

void StoreConnection::NotifyRolledBack()
{
    // The views' snapshots may hold rows that are no longer stored.
    for (StoreObserver* view : std::vector<StoreObserver*>(m_views))
        view->StoreRolledBack();
}

void StoreConnection::CloseViews()
{
    for (StoreObserver* view : std::vector<StoreObserver*>(m_views))
        view->StoreClosing();
}

void StoreConnection::CloseViews(const QString& tableName)
{
    for (StoreObserver* view : std::vector<StoreObserver*>(m_views)) {
        if (view->ShowsTable(tableName))
            view->StoreClosing();
    }
}

void StoreConnection::RegisterView(StoreObserver* view)
{
    m_views.push_back(view);
}

void StoreConnection::UnregisterView(StoreObserver* view)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

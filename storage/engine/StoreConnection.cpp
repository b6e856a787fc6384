#include "storage/engine/StoreConnection.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include "storage/engine/postgres/PgStore.h"
#include "storage/engine/sqlite/SqliteStore.h"
#include "storage/engine/StoreObserver.h"
#include "storage/engine/TableSchema.h"

Statement::Statement(StoreConnection& connection, const QString& sql)
    : m_impl(connection.Prepare(sql))
{
}

StoreConnection::StoreConnection(QString filePath) : m_filePath(std::move(filePath)) {}

std::shared_ptr<StoreConnection> StoreConnection::Open(const QString& folder, bool create,
                                                       int busyTimeoutMs)
{
    const QString server = ServerConnectionString(folder);
    if (!server.isEmpty())
        return PgConnection::Open(server, busyTimeoutMs);
    return SqliteConnection::Open(folder, create, busyTimeoutMs);
}

std::shared_ptr<StoreConnection> StoreConnection::OpenReadOnly(const QString& folder)
{
    const QString server = ServerConnectionString(folder);
    if (server.isEmpty())
        return SqliteConnection::OpenReadOnly(folder);
    try {
        return PgConnection::Open(server, 5000);
    } catch (const EDatabaseError&) {
        return nullptr; // the ordinary open reports it
    }
}

std::shared_ptr<StoreConnection> StoreConnection::OpenServer(const QString& connectionString,
                                                             int busyTimeoutMs)
{
    return PgConnection::Open(connectionString, busyTimeoutMs);
}

QString StoreConnection::ServerUnreachable(const QString& connectionString)
{
    return PgConnection::Unreachable(connectionString);
}

QString StoreConnection::ServerConnectionString(const QString& folder)
{
    QFile file(QDir(QDir::fromNativeSeparators(folder)).filePath(QLatin1String(ServerFileName)));
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(
            QStringLiteral("Не удалось прочитать «%1»: %2")
                .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    // One connection string; lines starting with "#" are comments.
    QStringList parts;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('#')))
            parts << text;
    }
    if (parts.isEmpty())
        throw EDatabaseError(QStringLiteral("В «%1» не указан сервер базы данных.")
                                 .arg(QDir::toNativeSeparators(file.fileName())));
    return parts.join(QLatin1Char(' '));
}

void StoreConnection::Exec(const QString& sql)
{
    Statement statement(*this, sql);
    while (statement.Step()) {
    }
}

QString StoreConnection::QueryText(const QString& sql)
{
    Statement statement(*this, sql);
    QString text;
    if (statement.Step())
        text = statement.Text(0);
    while (statement.Step()) {
    }
    return text;
}

QString StoreConnection::BareTableName(const QString& name)
{
    return TableSchema::BareTableName(name);
}

void StoreConnection::Begin()
{
    if (m_depth == 0)
        Exec(BeginStatement());
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
        // open: undo the scope so no later one runs inside it, then report the failure
        // (the commit's, not a rollback's that fails for the same cause).
        try {
            Rollback();
        } catch (...) {
        }
        throw;
    }
    --m_depth;
}

void StoreConnection::Rollback()
{
    --m_depth;
    try {
        if (m_depth == 0) {
            if (InTransaction())
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

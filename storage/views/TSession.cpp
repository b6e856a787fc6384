#include "storage/views/TSession.h"

#include <QDir>

#include "storage/engine/StoreConnection.h"

TSession& TSession::Instance()
{
    static TSession session;
    return session;
}

QString TSession::Key(const QString& folder)
{
    return QDir::cleanPath(QDir(QDir::fromNativeSeparators(folder)).absolutePath());
}

std::shared_ptr<StoreConnection> TSession::Connect(const QString& folder, bool create)
{
    const QString key = Key(folder);
    auto found = m_connections.find(key);
    if (found != m_connections.end())
        return found->second;
    std::shared_ptr<StoreConnection> connection =
        StoreConnection::Open(folder, create, m_busyTimeoutMs);
    if (connection)
        m_connections.emplace(key, connection);
    return connection;
}

void TSession::CloseAll()
{
    for (auto& [key, connection] : m_connections)
        connection->CloseViews();
    m_connections.clear();
}

void TSession::CloseTable(const QString& folder, const QString& tableName)
{
    const auto found = m_connections.find(Key(folder));
    if (found != m_connections.end())
        found->second->CloseViews(tableName);
}

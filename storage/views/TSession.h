#pragma once

#include <QString>

#include <map>
#include <memory>

class StoreConnection;

// The table store's session: its folders, the open stores of every folder, close-all.
class TSession final
{
public:
    static TSession& Instance();

    void SetNetFileDir(const QString& folder) { m_netFileDir = folder; }
    const QString& NetFileDir() const { return m_netFileDir; }
    void SetPrivateDir(const QString& folder) { m_privateDir = folder; }
    const QString& PrivateDir() const { return m_privateDir; }

    // How long a write waits for another process's lock before it fails.
    void SetBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }
    int BusyTimeout() const { return m_busyTimeoutMs; }

    // Closes every view and every store; later opens start afresh.
    void CloseAll();
    // Closes every view of one table of a folder, before a statement changes that table.
    void CloseTable(const QString& folder, const QString& tableName);

    // The open store of a folder; nullptr when it has no store file and create is false.
    std::shared_ptr<StoreConnection> Connect(const QString& folder, bool create);

private:
    TSession() = default;
    static QString Key(const QString& folder);

    QString m_netFileDir;
    QString m_privateDir;
    int m_busyTimeoutMs = 5000;
    std::map<QString, std::shared_ptr<StoreConnection>> m_connections;
};

inline TSession& Session()
{
    return TSession::Instance();
}

#pragma once

#include <QByteArray>
#include <QString>

// A PostgreSQL cluster of a test's own (scripts/test-server), to stop and start again while
// the program works on it.
class TestServer final
{
public:
    // Starts a fresh cluster; Connection() is empty when it could not be started.
    TestServer();
    // Stops the cluster and removes its folder.
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    const QByteArray& Connection() const { return m_connection; }
    // The cluster's folder, where it listens: the host of its connection string.
    const QString& Folder() const { return m_dir; }
    // Stops the server at once, as a crash would.
    bool Kill();
    bool Restart();

private:
    bool Run(const char* command, QByteArray* output = nullptr);

    QString m_dir;
    QByteArray m_connection;
};

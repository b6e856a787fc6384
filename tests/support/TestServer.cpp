#include "tests/support/TestServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

TestServer::TestServer()
{
    // Under the system's temporary folder: the cluster runs as another user when started by
    // root, and a socket path has a short limit.
    static int count = 0;
    m_dir = QDir::temp().filePath(QStringLiteral("pellomar-server-%1-%2")
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(++count));
    QByteArray output;
    if (Run("start", &output))
        m_connection = output;
}

TestServer::~TestServer()
{
    Run("stop");
}

bool TestServer::Kill()
{
    return Run("kill");
}

bool TestServer::Restart()
{
    return Run("restart");
}

bool TestServer::Run(const char* command, QByteArray* output)
{
    QProcess script;
    script.start(QStringLiteral(TEST_SERVER_SCRIPT), {QLatin1String(command), m_dir});
    const bool done = script.waitForFinished(120000) &&
                      script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
    if (output)
        *output = script.readAllStandardOutput().trimmed();
    return done;
}

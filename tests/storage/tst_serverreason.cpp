#include <QTest>

#include "storage/engine/postgres/PgStore.h"
#include "storage/engine/postgres/ServerReason.h"

// libpq's words for a failed or broken connection, as the user reads them.
class TestServerReason : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noConnection_data();
    void noConnection();
    void unreachableServerToldInRussian();
};

void TestServerReason::noConnection_data()
{
    QTest::addColumn<QString>("libpq");
    QTest::addColumn<QString>("told");

    const QString host = QStringLiteral("Нет связи с сервером «buh»: ");
    QTest::newRow("no socket")
        << "connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" failed: No such file "
           "or directory\n\tIs the server running locally and accepting connections on that "
           "socket?"
        << host + "сервер не запущен или не принимает соединения (нет сокета "
                  "«/run/postgresql/.s.PGSQL.5432»).";
    QTest::newRow("refused")
        << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: Connection refused\n\tIs "
           "the server running on that host and accepting TCP/IP connections?"
        << host + "сервер не принимает соединения (соединение отвергнуто).";
    QTest::newRow("unknown host")
        << "could not translate host name \"buh\" to address: Name or service not known"
        << host + "компьютер «buh» не найден в сети.";
    QTest::newRow("timeout") << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: "
                                "timeout expired"
                             << host + "сервер не ответил за отведённое время.";
    QTest::newRow("password")
        << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: FATAL:  password "
           "authentication failed for user \"kassa\""
        << host + "неверный пароль пользователя «kassa».";
    QTest::newRow("no database")
        << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: FATAL:  database "
           "\"zarplata\" does not exist"
        << host + "базы данных «zarplata» на сервере нет.";
    QTest::newRow("no role") << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: "
                                "FATAL:  role \"kassa\" does not exist"
                             << host + "пользователя «kassa» на сервере нет.";
    QTest::newRow("no password")
        << "connection to server at \"buh\" (10.0.0.5), port 5432 failed: fe_sendauth: no "
           "password supplied"
        << host + "сервер требует пароль, а его нет в файле паролей PostgreSQL (.pgpass).";
    QTest::newRow("closed") << "server closed the connection unexpectedly\n\tThis probably means "
                               "the server terminated abnormally\n\tbefore or while processing "
                               "the request."
                            << host + "сервер неожиданно закрыл соединение.";
    QTest::newRow("other text after a Russian sentence")
        << "SSL error: certificate verify failed"
        << "Нет связи с сервером «buh». Сообщение PostgreSQL: SSL error: certificate verify "
           "failed.";
    QTest::newRow("server's own Russian kept")
        << "ВАЖНО:  пользователь \"kassa\" не прошёл проверку подлинности (по паролю)"
        << "Нет связи с сервером «buh». Сообщение PostgreSQL: ВАЖНО:  пользователь \"kassa\" не "
           "прошёл проверку подлинности (по паролю).";
    QTest::newRow("nothing said") << ""
                                  << "Нет связи с сервером «buh».";
}

void TestServerReason::noConnection()
{
    QFETCH(QString, libpq);
    QFETCH(QString, told);
    QCOMPARE(ServerReason::NoConnection(QStringLiteral("buh"), libpq), told);
}

void TestServerReason::unreachableServerToldInRussian()
{
    // libpq's own words, from a socket where no server listens.
    const QString told =
        QStringLiteral("Нет связи с сервером «/nonexistent/pellomar»: сервер не запущен или не "
                       "принимает соединения (нет сокета «/nonexistent/pellomar/.s.PGSQL.5432»).");
    const QString connection = QStringLiteral("host=/nonexistent/pellomar dbname=x user=y");
    QCOMPARE(PgConnection::Unreachable(connection), told);
    try {
        PgConnection::Open(connection, 1000);
        QFAIL("opened");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.Message(), told);
    }
}

QTEST_MAIN(TestServerReason)
#include "tst_serverreason.moc"

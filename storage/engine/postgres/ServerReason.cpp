#include "storage/engine/postgres/ServerReason.h"

#include <QRegularExpression>
#include <QStringList>

namespace ServerReason {
namespace {

struct Known
{
    const char* pattern; // %1 in the Russian is the pattern's first capture
    const char16_t* russian;
};

// libpq's hints ("Is the server running…?", "This probably means…") follow their reason and
// say nothing the Russian does not.
constexpr Known KnownReasons[] = {
    {R"re(connection to server on socket "([^"]*)" failed: No such file or directory)re",
     u"сервер не запущен или не принимает соединения (нет сокета «%1»)"},
    {R"re(Connection refused)re", u"сервер не принимает соединения (соединение отвергнуто)"},
    {R"re(could not translate host name "([^"]*)" to address)re",
     u"компьютер «%1» не найден в сети"},
    {R"re(timeout expired)re", u"сервер не ответил за отведённое время"},
    {R"re(password authentication failed for user "([^"]*)")re",
     u"неверный пароль пользователя «%1»"},
    {R"re(database "([^"]*)" does not exist)re", u"базы данных «%1» на сервере нет"},
    {R"re(role "([^"]*)" does not exist)re", u"пользователя «%1» на сервере нет"},
    {R"re(no password supplied)re",
     u"сервер требует пароль, а его нет в файле паролей PostgreSQL (.pgpass)"},
    {R"re(server closed the connection unexpectedly)re", u"сервер неожиданно закрыл соединение"},
    {R"re(no connection to the server)re", u"соединение с сервером потеряно"},
    {R"re(could not receive data from server: Connection reset by peer)re",
     u"сервер разорвал соединение"},
    {R"re(terminating connection due to administrator command)re",
     u"сервер остановлен администратором"},
};

} // namespace

QString InRussian(const QString& libpqText)
{
    QStringList found;
    for (const Known& known : KnownReasons) {
        const QRegularExpression pattern(QString::fromLatin1(known.pattern));
        const QRegularExpressionMatch match = pattern.match(libpqText);
        if (!match.hasMatch())
            continue;
        QString russian = QString::fromUtf16(known.russian);
        if (pattern.captureCount() > 0)
            russian = russian.arg(match.captured(1));
        if (!found.contains(russian))
            found << russian;
    }
    return found.join(QLatin1String("; "));
}

QString NoConnection(const QString& host, const QString& libpqText)
{
    QString text = libpqText.trimmed();
    const QString russian = InRussian(text);
    if (!russian.isEmpty())
        return QStringLiteral("Нет связи с сервером «%1»: %2.").arg(host, russian);
    if (text.isEmpty())
        return QStringLiteral("Нет связи с сервером «%1».").arg(host);
    if (!text.endsWith(QLatin1Char('.')) && !text.endsWith(QLatin1Char('?')))
        text += QLatin1Char('.');
    return QStringLiteral("Нет связи с сервером «%1». Сообщение PostgreSQL: %2").arg(host, text);
}

} // namespace ServerReason

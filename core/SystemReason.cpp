#include "core/SystemReason.h"

#include <cerrno>
#include <cstring>

namespace SystemReason {
namespace {

struct Known
{
    int code;
    const char16_t* russian;
};

constexpr Known KnownReasons[] = {
    {ENOENT, u"нет такого файла или папки"},
    {EACCES, u"нет прав доступа"},
    {EPERM, u"операция не разрешена"},
    {EROFS, u"диск доступен только для чтения"},
    {ENAMETOOLONG, u"слишком длинное имя файла"},
    {ENOSPC, u"на диске не осталось места"},
#ifdef EDQUOT
    {EDQUOT, u"превышена дисковая квота"},
#endif
    {EEXIST, u"файл уже существует"},
    {EISDIR, u"это папка, а не файл"},
    {ENOTDIR, u"часть пути не является папкой"},
    {EMFILE, u"открыто слишком много файлов"},
    {EBUSY, u"файл или устройство заняты"},
    {EIO, u"ошибка ввода-вывода"},
    {EFBIG, u"файл слишком велик"},
};

} // namespace

QString FromErrno(int code)
{
    for (const Known& known : KnownReasons) {
        if (known.code == code)
            return QString::fromUtf16(known.russian);
    }
    return QString::fromLocal8Bit(std::strerror(code));
}

QString InRussian(const QString& reason)
{
    if (reason == QLatin1String("Unknown error")) // QIODevice's own when it knows no reason
        return QStringLiteral("причина неизвестна");
#ifdef Q_OS_WIN
    return reason; // Windows gives its reasons in the language of the system already
#else
    QString text = reason;
    for (const Known& known : KnownReasons) {
        // Qt words a few codes itself and takes the rest from the C library.
        for (const QString& system :
             {qt_error_string(known.code), QString::fromLocal8Bit(std::strerror(known.code))}) {
            if (!system.isEmpty() && text.contains(system))
                text.replace(system, QString::fromUtf16(known.russian));
        }
    }
    return text;
#endif
}

} // namespace SystemReason

#include "export/ExportJournal.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "core/Platform.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/TPathBuilder.h"

namespace {

constexpr int MaxNamedFiles = 20;

QString Numbered(const QStringList& names)
{
    QStringList shown = names.mid(0, MaxNamedFiles);
    if (names.size() > MaxNamedFiles)
        shown << QStringLiteral("и ещё %1").arg(names.size() - MaxNamedFiles);
    return shown.join(QLatin1Char('\n'));
}

} // namespace

ExportJournal::ExportJournal(QString kind)
    : m_kind(std::move(kind)), m_folder(TPathBuilder::GetEmployeeDBPath())
{
}

TRegisterEntry ExportJournal::Entry(const ExportData::Organisation& organisation,
                                    const QString& path, int employees,
                                    ExportData::Money total) const
{
    TRegisterEntry entry;
    const QDateTime now = QDateTime::currentDateTime();
    entry.Made = now.addMSecs(-now.time().msec());
    entry.Org = organisation.Organization120;
    entry.Kind = m_kind;
    entry.FileName = QFileInfo(path).fileName();
    entry.Employees = employees;
    entry.Total = total.toString();
    entry.UserName = Platform::LoginName();
    entry.Host = QSysInfo::machineHostName();
    return entry;
}

void ExportJournal::KeepNumbered(const ExportData::Organisation& organisation,
                                 const QString& path, int employees, ExportData::Money total,
                                 const std::function<QByteArray(qint64, QDate)>& write)
{
    const TRegisterEntry entry = Entry(organisation, path, employees, total);
    const qint64 number = TRegisterJournal(m_folder).AddNumbered(
        entry, [&](qint64 id) { return write(id, entry.Made.date()); },
        [&path] { QFile::remove(path); });
    ++m_written;
    m_lastFile = entry.FileName;
    m_numbers.append(number);
}

void ExportJournal::Keep(const ExportData::Organisation& organisation, const QString& path,
                         int employees, ExportData::Money total, const QByteArray& content)
{
    ++m_written;
    m_lastFile = QFileInfo(path).fileName();
    const TRegisterEntry entry = Entry(organisation, path, employees, total);
    try {
        m_numbers.append(TRegisterJournal(m_folder).Add(entry, content));
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        // The file is in place and stays: the user learns that the journal lacks it.
        m_unkept.append(m_lastFile);
        if (m_reason.isEmpty())
            m_reason = error.Message();
    }
}

QString ExportJournal::NumbersText(const QList<qint64>& numbers)
{
    QStringList runs;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype last = i;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1)
            ++last;
        runs << (last == i ? QString::number(numbers[i])
                           : QStringLiteral("%1–%2").arg(numbers[i]).arg(numbers[last]));
        i = last + 1;
    }
    return (numbers.size() == 1 ? QStringLiteral("Номер в журнале: ")
                                : QStringLiteral("Номера в журнале: ")) +
           runs.join(QStringLiteral(", "));
}

QString ExportJournal::ClosingNote(const QString& renamedNote) const
{
    if (m_written == 0)
        return renamedNote;
    QStringList parts;
    parts << (m_written == 1 ? QStringLiteral("Записан файл «%1».").arg(m_lastFile)
                             : QStringLiteral("Записано файлов: %1.").arg(m_written));
    if (!m_numbers.isEmpty())
        parts.last() += QLatin1Char('\n') + NumbersText(m_numbers);
    if (m_unkept.size() == 1) {
        parts << QStringLiteral("Файл «%1» записан, но в журнал выгрузок не внесён: %2")
                     .arg(m_unkept.front(), m_reason);
    } else if (!m_unkept.isEmpty()) {
        parts << QStringLiteral("Файлы записаны, но в журнал выгрузок не внесены (%1):\n%2\n"
                                "Причина: %3")
                     .arg(m_unkept.size())
                     .arg(Numbered(m_unkept), m_reason);
    }
    if (!renamedNote.isEmpty())
        parts << renamedNote;
    return parts.join(QStringLiteral("\n\n"));
}

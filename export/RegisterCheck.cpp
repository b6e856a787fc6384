#include "export/RegisterCheck.h"

#include <QHash>

namespace RegisterCheck {
namespace {

constexpr int AccountLength = 20;
// Longer names are cut in the lines, so twenty of them keep the question on the screen.
constexpr int MaxShownName = 40;

QString Shown(const QString& name)
{
    if (name.size() <= MaxShownName)
        return name;
    qsizetype keep = MaxShownName - 1;
    if (name[keep - 1].isHighSurrogate())
        --keep;
    return name.left(keep) + QChar(0x2026);
}

bool IsDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool IsAccount(const QString& accnt)
{
    return accnt.size() == AccountLength && IsDigits(accnt);
}

// The three digits of the currency the organisation's accounts are in (the 6th to 8th of an
// account), or empty when its Crnc names none.
QString CurrencyDigits(const QString& crnc)
{
    const QString code = crnc.trimmed();
    if (code.compare(QLatin1String("RUB"), Qt::CaseInsensitive) == 0 ||
        code.compare(QLatin1String("RUR"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("810");
    return code.size() == 3 && IsDigits(code) ? code : QString();
}

bool IsLatinLetter(QChar c)
{
    if (c.unicode() < 0x80)
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    return c.isLetter() && c.script() == QChar::Script_Latin;
}

bool IsCyrillicLetter(QChar c)
{
    return c.unicode() >= 0x80 && c.isLetter() && c.script() == QChar::Script_Cyrillic;
}

bool MixesScripts(const QString& name)
{
    bool latin = false;
    bool cyrillic = false;
    for (const QChar c : name) {
        latin = latin || IsLatinLetter(c);
        cyrillic = cyrillic || IsCyrillicLetter(c);
        if (latin && cyrillic)
            return true;
    }
    return false;
}

// The Latin letters of a name, each once, in the order they come: what to look for in it.
QString LatinLetters(const QString& name)
{
    QStringList letters;
    for (const QChar c : name) {
        if (IsLatinLetter(c) && !letters.contains(QString(c)))
            letters << QString(c);
    }
    return letters.join(QStringLiteral(", "));
}

QString UnlistedFinding(const QList<ExportData::UnlistedEmployee>& unlisted)
{
    QStringList named;
    for (qsizetype i = 0; i < unlisted.size() && i < MaxNamedUnlisted; ++i) {
        const ExportData::UnlistedEmployee& employee = unlisted[i];
        named << (employee.Org120.isEmpty()
                      ? QStringLiteral("«%1» (без организации)").arg(Shown(employee.Fio100))
                      : QStringLiteral("«%1» (организация «%2»)")
                            .arg(Shown(employee.Fio100), Shown(employee.Org120)));
    }
    QString more = unlisted.size() > MaxNamedUnlisted ? QStringLiteral(", …") : QString();
    return QStringLiteral("Отмечены, но не войдут ни в один реестр (организация не указана или "
                          "её нет в списке): %1 — ")
               .arg(unlisted.size()) +
           named.join(QStringLiteral(", ")) + more;
}

void CheckOrganisation(const ExportData::Organisation& organisation, QStringList& findings)
{
    const QString name = Shown(organisation.Organization120);
    if (!IsAccount(organisation.Accnt))
        findings << QStringLiteral("Организация «%1»: счёт организации «%2» — не 20 цифр")
                        .arg(name, organisation.Accnt);
    if (organisation.Contract.trimmed().isEmpty())
        findings
            << QStringLiteral("Организация «%1»: не указан номер зарплатного соглашения").arg(name);
}

void CheckRows(const ExportData::Organisation& organisation,
               const QList<ExportData::ListedEmployee>& listed, QStringList& findings)
{
    const QString currency = CurrencyDigits(organisation.Crnc);
    QHash<QString, qsizetype> firstWithAccount;
    firstWithAccount.reserve(listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const ExportData::ListedEmployee& employee = listed[i];
        const auto who = [&] {
            return QStringLiteral("«%1» (организация «%2»): ")
                .arg(Shown(employee.Fio100), Shown(organisation.Organization120));
        };
        if (!IsAccount(employee.Accnt)) {
            findings << who() + QStringLiteral("счёт «%1» — не 20 цифр").arg(employee.Accnt);
        } else if (!currency.isEmpty() && QStringView(employee.Accnt).mid(5, 3) != currency) {
            findings << who() + QStringLiteral("счёт «%1» в валюте %2, а у организации — %3")
                                    .arg(employee.Accnt, employee.Accnt.mid(5, 3), currency);
        }

        if (const auto first = firstWithAccount.constFind(employee.Accnt);
            first == firstWithAccount.cend()) {
            firstWithAccount.insert(employee.Accnt, i);
        } else {
            const QString& earlier = listed[*first].Fio100;
            findings << who() + (earlier == employee.Fio100
                                     ? QStringLiteral("счёт «%1» указан дважды").arg(employee.Accnt)
                                     : QStringLiteral("счёт «%1» уже указан у «%2»")
                                           .arg(employee.Accnt, Shown(earlier)));
        }

        try {
            const qint64 cents = ExportData::ReadAmount(employee.Amount, employee.Fio100).Cents();
            if (cents == 0)
                findings << who() + QStringLiteral("сумма «%1» равна нулю").arg(employee.Amount);
            else if (cents < 0)
                findings << who() + QStringLiteral("сумма «%1» меньше нуля").arg(employee.Amount);
        } catch (const EConvertError&) {
            // CheckAmounts refuses the export for it
        }

        if (MixesScripts(employee.Fio100))
            findings << who() + QStringLiteral("в имени смешаны кириллица и латиница (латинские "
                                               "буквы: %1)")
                                    .arg(LatinLetters(employee.Fio100));
    }
}

} // namespace

QStringList Findings(const ExportData::ExportRows& rows)
{
    QStringList findings;
    if (!rows.unlisted.isEmpty())
        findings << UnlistedFinding(rows.unlisted);
    for (qsizetype i = 0; i < rows.organisations.size(); ++i) {
        CheckOrganisation(rows.organisations[i], findings);
        CheckRows(rows.organisations[i], rows.listed.value(i), findings);
    }
    return findings;
}

QString Question(const QStringList& findings)
{
    if (findings.isEmpty())
        return {};
    QStringList lines = findings.mid(0, MaxNamedFindings);
    if (findings.size() > MaxNamedFindings)
        lines << QStringLiteral("и ещё %1").arg(findings.size() - MaxNamedFindings);
    return QStringLiteral("Перед выгрузкой проверьте:\n") + lines.join(QLatin1Char('\n')) +
           QStringLiteral("\n\nПродолжить выгрузку?");
}

} // namespace RegisterCheck

#include "export/ExportData.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"

namespace ExportData {
namespace {

// Up to 16 integer digits keep any amount times 100, and sums of many, inside qint64.
constexpr int MaxIntegerDigits = 16;

bool IsBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

EConvertError NotANumber(const QString& amountText, const QString& employeeName)
{
    return EConvertError(QStringLiteral("Сумма сотрудника «%1» не читается как число: «%2»")
                             .arg(employeeName, amountText));
}

int FieldIndex(TTable& table, const QString& name)
{
    return table.FieldByName(name).Index(); // throws when the layout lacks it
}

Organisation ReadOrganisation(const TTable& orgs, int row, const int (&fields)[7])
{
    return {orgs.CellText(row, fields[0]), orgs.CellText(row, fields[1]),
            orgs.CellText(row, fields[2]), orgs.CellText(row, fields[3]),
            orgs.CellText(row, fields[4]), orgs.CellText(row, fields[5]),
            orgs.CellText(row, fields[6])};
}

struct OrganisationFields
{
    explicit OrganisationFields(TTable& orgs)
        : index{FieldIndex(orgs, Layouts::OrgNameField),
                FieldIndex(orgs, QStringLiteral("Accnt")),
                FieldIndex(orgs, QStringLiteral("Position")),
                FieldIndex(orgs, QStringLiteral("Director")),
                FieldIndex(orgs, QStringLiteral("Accountant")),
                FieldIndex(orgs, QStringLiteral("Contract")),
                FieldIndex(orgs, QStringLiteral("Crnc"))}
    {
    }
    int index[7];
};

// Each export-flagged row of the view as shown, with its organisation (empty included);
// moves nothing and stores nothing.
template <typename Visit> void ForEachFlaggedRow(TTable& employees, Visit&& visit)
{
    const int exportField = FieldIndex(employees, Layouts::ExportField);
    const int orgField = FieldIndex(employees, Layouts::OrgField);
    const int count = employees.RecordCount();
    for (int row = 0; row < count; ++row) {
        if (employees.CellBoolean(row, exportField))
            visit(row, employees.CellText(row, orgField));
    }
}

// Walks the view's rows once without moving its cursor row by row (no signal per row); the
// pending change is stored first by the move to the first row. Visits every export-flagged
// employee, those without an organisation included.
template <typename Visit> void ForEachFlagged(TTable& employees, Visit&& visit)
{
    const int fioField = FieldIndex(employees, Layouts::FioField);
    const int accntField = FieldIndex(employees, Layouts::AccntField);
    const int amountField = FieldIndex(employees, Layouts::AmountField);
    employees.First();
    ForEachFlaggedRow(employees, [&](int row, const QString& org) {
        visit(org,
              ListedEmployee{employees.CellText(row, fioField), employees.CellText(row, accntField),
                             employees.CellText(row, amountField)});
    });
}

template <typename Visit> void ForEachListed(TTable& employees, Visit&& visit)
{
    ForEachFlagged(employees, [&visit](const QString& org, ListedEmployee&& employee) {
        if (!org.isEmpty())
            visit(org, std::move(employee));
    });
}

QSet<QString> OrganisationNames(TTable& organisations)
{
    const int nameField = FieldIndex(organisations, Layouts::OrgNameField);
    const int count = organisations.RecordCount();
    QSet<QString> names;
    names.reserve(count);
    for (int row = 0; row < count; ++row)
        names.insert(organisations.CellText(row, nameField));
    return names;
}

int FileNameLength(const QString& name)
{
#ifdef Q_OS_WIN
    return int(name.size());
#else
    return int(QFile::encodeName(name).size());
#endif
}

// The tag without as many last characters as keep the file name of tag + suffix within
// MaxFileNameLength; a surrogate pair goes whole, and the leading "_" stays.
QString FittingTag(QString tag, const QString& suffix,
                   const std::function<QString(const QString&)>& pathOf)
{
    int excess = FileNameLength(QFileInfo(pathOf(tag + suffix)).fileName()) - MaxFileNameLength;
    while (excess > 0 && tag.size() > 1) {
        const qsizetype size = tag.size();
        const qsizetype cut =
            size > 2 && tag[size - 1].isLowSurrogate() && tag[size - 2].isHighSurrogate() ? 2 : 1;
        excess -= FileNameLength(tag.right(cut));
        tag.chop(cut);
    }
    return tag;
}

} // namespace

Money& Money::operator+=(Money other)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(m_cents, other.m_cents, &sum))
        throw EConvertError(QStringLiteral("Сумма слишком велика"));
    m_cents = sum;
    return *this;
}

QString Money::toString() const
{
    const bool negative = m_cents < 0;
    const quint64 magnitude = negative ? 0 - quint64(m_cents) : quint64(m_cents);
    QString text = QString::number(magnitude / 100) + QLatin1Char('.') +
                   QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
    if (negative)
        text.prepend(QLatin1Char('-'));
    return text;
}

Money ReadAmount(const QString& amountText, const QString& employeeName)
{
    const qsizetype n = amountText.size();
    qsizetype i = 0;
    while (i < n && IsBlank(amountText[i]))
        ++i;
    bool negative = false;
    if (i < n && (amountText[i] == QLatin1Char('-') || amountText[i] == QLatin1Char('+'))) {
        negative = amountText[i] == QLatin1Char('-');
        ++i;
    }

    qint64 units = 0;
    int integerDigits = 0;
    int digits = 0;
    for (; i < n && IsDigit(amountText[i]); ++i, ++digits) {
        units = units * 10 + amountText[i].digitValue();
        if (units != 0 && ++integerDigits > MaxIntegerDigits)
            throw NotANumber(amountText, employeeName);
    }

    int fraction[3] = {0, 0, 0}; // tenths, hundredths and the digit that rounds
    if (i < n && amountText[i] == QLatin1Char('.')) {
        ++i;
        for (int place = 0; i < n && IsDigit(amountText[i]); ++i, ++digits, ++place) {
            if (place < 3)
                fraction[place] = amountText[i].digitValue();
        }
    }
    while (i < n && IsBlank(amountText[i]))
        ++i;
    if (i != n || digits == 0)
        throw NotANumber(amountText, employeeName);

    qint64 cents = units * 100 + fraction[0] * 10 + fraction[1] + (fraction[2] >= 5 ? 1 : 0);
    return Money::FromCents(negative ? -cents : cents);
}

QString FileTag(const QString& organisationName)
{
    QString tag = organisationName;
    for (const QChar c : {u'/', u'\\', u':', u'*', u'?', u'<', u'>', u'|', u'"'})
        tag.remove(c);
    return QLatin1Char('_') + tag;
}

void ForEachListedRow(TTable& employees,
                      const std::function<void(int row, const QString& organisation)>& visit)
{
    ForEachFlaggedRow(employees, [&visit](int row, const QString& org) {
        if (!org.isEmpty())
            visit(row, org);
    });
}

QHash<QString, QList<ListedEmployee>> ListedEmployeesByOrganisation(TTable& employees)
{
    QHash<QString, QList<ListedEmployee>> groups;
    ForEachListed(employees, [&groups](const QString& org, ListedEmployee&& employee) {
        groups[org].append(std::move(employee));
    });
    return groups;
}

QList<ListedEmployee> ListedEmployeesOf(TTable& employees, const QString& organisationName)
{
    QList<ListedEmployee> listed;
    ForEachListed(employees, [&](const QString& org, ListedEmployee&& employee) {
        if (org == organisationName)
            listed.append(std::move(employee));
    });
    return listed;
}

Money Total(const QList<ListedEmployee>& employees)
{
    Money total;
    for (const ListedEmployee& employee : employees)
        total += ReadAmount(employee.Amount, employee.Fio100);
    return total;
}

EOrganisationNotFound::EOrganisationNotFound(const QString& name)
    : Exception(QStringLiteral("Организация не найдена: ") + name)
{
}

int OrganisationRow(TTable& organisations, const QString& name)
{
    const int nameField = FieldIndex(organisations, Layouts::OrgNameField);
    const int count = organisations.RecordCount();
    for (int row = 0; row < count; ++row) {
        if (organisations.CellText(row, nameField) == name)
            return row;
    }
    return -1;
}

Organisation FindOrganisation(TTable& organisations, const QString& name)
{
    const OrganisationFields fields(organisations);
    organisations.First();
    const int row = OrganisationRow(organisations, name);
    if (row < 0)
        throw EOrganisationNotFound(name);
    organisations.SetRecNo(row + 1);
    return ReadOrganisation(organisations, row, fields.index);
}

QList<Organisation> AllOrganisations(TTable& organisations)
{
    const OrganisationFields fields(organisations);
    organisations.First();
    const int count = organisations.RecordCount();
    QList<Organisation> all;
    all.reserve(count);
    for (int row = 0; row < count; ++row)
        all.append(ReadOrganisation(organisations, row, fields.index));
    return all;
}

QList<Organisation> OrganisationsFor(TTable& organisations, const QString& choice)
{
    if (choice == AllOrganizations)
        return AllOrganisations(organisations);
    return {FindOrganisation(organisations, choice)};
}

ExportRows ReadExport(TTable& employees, TTable& organisations, const QString& choice)
{
    employees.Refresh();
    organisations.Refresh();
    ExportRows rows;
    const QSet<QString> names = OrganisationNames(organisations);
    rows.organisations = OrganisationsFor(organisations, choice);
    QHash<QString, qsizetype> registerOf;
    registerOf.reserve(rows.organisations.size());
    for (qsizetype i = 0; i < rows.organisations.size(); ++i)
        registerOf.insert(rows.organisations[i].Organization120, i);
    rows.listed.resize(rows.organisations.size());
    ForEachFlagged(employees, [&](const QString& org, ListedEmployee&& employee) {
        if (org.isEmpty() || !names.contains(org))
            rows.unlisted.append({std::move(employee.Fio100), org});
        else if (const auto it = registerOf.constFind(org); it != registerOf.cend())
            rows.listed[*it].append(std::move(employee));
    });
    CheckAmounts(rows);
    return rows;
}

void CheckAmounts(const ExportRows& rows)
{
    QStringList named;
    qsizetype unreadable = 0;
    for (qsizetype i = 0; i < rows.organisations.size(); ++i) {
        for (const ListedEmployee& employee : rows.listed[i]) {
            try {
                ReadAmount(employee.Amount, employee.Fio100);
            } catch (const EConvertError&) {
                if (++unreadable <= MaxNamedAmounts)
                    named << QStringLiteral("«%1» (организация «%2»): «%3»")
                                 .arg(employee.Fio100, rows.organisations[i].Organization120,
                                      employee.Amount);
            }
        }
    }
    if (unreadable == 0)
        return;
    if (unreadable > MaxNamedAmounts)
        named << QStringLiteral("и ещё %1").arg(unreadable - MaxNamedAmounts);
    throw EConvertError(
        (unreadable == 1 ? QStringLiteral("Сумма не читается как число, экспорт не выполнен:\n")
                         : QStringLiteral("Суммы не читаются как число, экспорт не выполнен:\n")) +
        named.join(QLatin1Char('\n')));
}

QList<OutputFile> OutputFiles(const QString& choice, const QList<Organisation>& organisations,
                              const std::function<QString(const QString&)>& pathOf)
{
    QList<OutputFile> files;
    files.reserve(organisations.size());
    if (choice != AllOrganizations) {
        for (qsizetype i = 0; i < organisations.size(); ++i)
            files.append({pathOf(QString()), false});
        return files;
    }
    QSet<QString> taken;
    for (const Organisation& organisation : organisations) {
        const QString plain = FileTag(organisation.Organization120);
        for (int number = 1;; ++number) {
            const QString suffix = number == 1 ? QString() : QStringLiteral(" (%1)").arg(number);
            const QString tag = FittingTag(plain, suffix, pathOf) + suffix;
            const QString key = tag.toCaseFolded();
            if (!taken.contains(key)) {
                taken.insert(key);
                files.append({pathOf(tag), tag != plain});
                break;
            }
        }
    }
    return files;
}

QString RenamedFilesNote(const QList<std::pair<QString, OutputFile>>& written)
{
    QStringList lines;
    for (const auto& [name, file] : written) {
        if (file.renamed)
            lines << QStringLiteral("«%1» — %2").arg(name, QFileInfo(file.path).fileName());
    }
    if (lines.isEmpty())
        return {};
    return QStringLiteral("Имена файлов этих организаций совпали бы с именами файлов других "
                          "организаций или оказались бы слишком длинными, поэтому файлы "
                          "записаны так:\n") +
           lines.join(QLatin1Char('\n'));
}

} // namespace ExportData

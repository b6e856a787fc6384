#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

#include "core/Exception.h"

class TTable;

namespace ExportData {

// The all-organisations choice of the export selector and the export dialog.
inline const QString AllOrganizations = QStringLiteral("Все");

// An exact amount of money in kopecks. Sums never pass through binary floating point.
class Money
{
public:
    constexpr Money() = default;
    static constexpr Money FromCents(qint64 cents) { return Money(cents); }

    constexpr qint64 Cents() const { return m_cents; }

    // Throws EConvertError when the sum leaves the range of the type.
    Money& operator+=(Money other);
    friend Money operator+(Money a, Money b) { return a += b; }
    friend constexpr bool operator==(Money a, Money b) = default;

    // "1234.56", "-5.00", "0.00": a point, two decimals, no grouping, whatever the locale.
    QString toString() const;

private:
    constexpr explicit Money(qint64 cents) : m_cents(cents) {}
    qint64 m_cents = 0;
};

// Reads a stored amount text: optional blanks around it, an optional sign, digits with at
// most one point and at least one digit. Rounds to kopecks half away from zero. Anything else
// throws EConvertError whose message names the employee and the text.
Money ReadAmount(const QString& amountText, const QString& employeeName);

// The organisation's part of an output file name in an "all organisations" export: "_" and
// the name without / \ : * ? < > | and the double quote.
QString FileTag(const QString& organisationName);

// One employee as the exports list it, the texts as stored.
struct ListedEmployee
{
    QString Fio100;
    QString Accnt;
    QString Amount;
};

// Calls visit(row, organisation) for each employee the exports list: export-flagged and with an
// organisation (its Org120), in the view's order. Reads the rows as shown, the row in edit with
// its pending values, and neither moves the view nor stores anything.
void ForEachListedRow(TTable& employees,
                      const std::function<void(int row, const QString& organisation)>& visit);

// The export-flagged employees grouped by their Org120 (exact, case-sensitive), each group in
// the view's order, in one pass over the view. Employees without an organisation are left
// out. Any pending change of the view is stored first, as on every move; the view ends on its
// first row.
QHash<QString, QList<ListedEmployee>> ListedEmployeesByOrganisation(TTable& employees);

// The export-flagged employees of one organisation, in the view's order.
QList<ListedEmployee> ListedEmployeesOf(TTable& employees, const QString& organisationName);

// The sum of the employees' amounts, as the register and the statement print it.
Money Total(const QList<ListedEmployee>& employees);

// An organisation record as the exports read it.
struct Organisation
{
    QString Organization120;
    QString Accnt;
    QString Position;
    QString Director;
    QString Accountant;
    QString Contract;
    QString Crnc;
};

// A typed choice that names no organisation record.
class EOrganisationNotFound : public Exception
{
public:
    explicit EOrganisationNotFound(const QString& name);
};

// The organisation whose Organization120 equals name exactly; the view is left on it.
// Throws EOrganisationNotFound ("Организация не найдена: " + name) when there is none.
Organisation FindOrganisation(TTable& organisations, const QString& name);

// The row of the organisation whose Organization120 equals name exactly, found without moving
// the view; -1 when there is none.
int OrganisationRow(TTable& organisations, const QString& name);

// Every organisation record in the view's order (by name), read in one pass.
QList<Organisation> AllOrganisations(TTable& organisations);

// The organisations an export for choice covers: every one for "Все", else the one named.
QList<Organisation> OrganisationsFor(TTable& organisations, const QString& choice);

// An export-flagged employee whom no register lists: the Org120 is empty or names no
// organisation record.
struct UnlistedEmployee
{
    QString Fio100;
    QString Org120;
};

// What an export writes: the organisations it covers and, for each, its listed employees.
struct ExportRows
{
    QList<Organisation> organisations;
    QList<QList<ListedEmployee>> listed; // listed[i]: the employees of organisations[i]
    QList<UnlistedEmployee> unlisted;    // in the view's order
};

// The rows of an export for choice as stored at this moment: both views store their pending
// change and read their rows again (Refresh), so they show what is exported. The employees
// are read in one pass. Every listed amount is read before the rows are returned;
// CheckAmounts throws for unreadable ones.
ExportRows ReadExport(TTable& employees, TTable& organisations, const QString& choice);

// Reads every listed amount; one EConvertError names each unreadable one with its employee
// and organisation (the first MaxNamedAmounts, then how many more).
void CheckAmounts(const ExportRows& rows);
inline constexpr int MaxNamedAmounts = 20;

// The longest file name an export writes, in the units the file system counts (UTF-8 bytes,
// UTF-16 units on Windows): 255 less the 7 of the temporary file a replacement is written to.
inline constexpr int MaxFileNameLength = 248;

// The output file of one organisation in an export.
struct OutputFile
{
    QString path;
    // Not the path of the plain file tag: cut to fit, or numbered after a clash.
    bool renamed = false;
};

// The output files of an export for choice, one per organisation in order; pathOf gives the
// path of a file tag (TPathBuilder::GetOutTxtPath or GetOutWordPath). For "Все" each file tag
// is cut on a character boundary until the file name fits MaxFileNameLength, and a name that
// an earlier organisation of the export took (letter case ignored, as Windows compares) gets
// " (2)", " (3)"... before its ending. A single organisation's file is pathOf("").
QList<OutputFile> OutputFiles(const QString& choice, const QList<Organisation>& organisations,
                              const std::function<QString(const QString&)>& pathOf);

// The closing note of an export: each organisation whose file was written under another name
// than its plain file tag gives, and that file. `written` pairs an organisation's name with its
// file, for the files written. Empty when none was renamed.
QString RenamedFilesNote(const QList<std::pair<QString, OutputFile>>& written);

} // namespace ExportData

#include "export/TextRegister.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include "core/SystemReason.h"

namespace TextRegister {
namespace {

const QString Separator = QStringLiteral("==========");
const QString HeaderStart = QStringLiteral("Версия 2;1;");
const QString TotalCaption = QStringLiteral("Итого:");
constexpr int TotalColumn = 64; // the number starts at the 65th character
const QString LineEnd = QStringLiteral("\r\n");

// Windows-1251 both ways: a text that does not come back unchanged holds a character the
// code page lacks (the encoder would write a substitute byte instead).
class CodePage
{
public:
    CodePage() : m_encoder("windows-1251"), m_decoder("windows-1251")
    {
        if (!m_encoder.isValid() || !m_decoder.isValid())
            throw Exception(QStringLiteral("Кодировка Windows-1251 недоступна"));
    }

    QByteArray Encode(const QString& text) { return m_encoder.encode(text); }

    // The first character the code page cannot hold (a surrogate pair whole), or an empty text.
    QString FirstUnencodable(const QString& text)
    {
        const QString back = m_decoder.decode(m_encoder.encode(text));
        if (back == text)
            return {};
        qsizetype i = 0;
        while (i < text.size() && i < back.size() && back[i] == text[i])
            ++i;
        if (i == text.size())
            --i;
        if (text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())
            --i;
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        return text.mid(i, pair ? 2 : 1);
    }

private:
    QStringEncoder m_encoder;
    QStringDecoder m_decoder;
};

bool IsLineBreaking(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Why the text cannot stand in a register field, or an empty text when it can.
QString Fault(const QString& text, CodePage& codePage)
{
    for (const QChar c : text) {
        if (c == QLatin1Char(';'))
            return QStringLiteral("точка с запятой «;»");
        if (IsLineBreaking(c))
            return QStringLiteral("управляющий символ (перевод строки, табуляция или другой)");
    }
    const QString lacking = codePage.FirstUnencodable(text);
    if (!lacking.isEmpty())
        return QStringLiteral("символ «%1», которого нет в кодировке Windows-1251").arg(lacking);
    return {};
}

void CheckOrganisationField(const ExportData::Organisation& organisation, const QString& text,
                            const QString& field, CodePage& codePage)
{
    const QString fault = Fault(text, codePage);
    if (!fault.isEmpty()) {
        throw EInvalidRegisterText(
            QStringLiteral("Реестр не записан: у организации «%1» в поле «%2» %3")
                .arg(organisation.Organization120, field, fault));
    }
}

void CheckEmployeeField(const ExportData::ListedEmployee& employee, const QString& text,
                        const QString& field, CodePage& codePage)
{
    const QString fault = Fault(text, codePage);
    if (!fault.isEmpty()) {
        throw EInvalidRegisterText(
            QStringLiteral("Реестр не записан: у сотрудника «%1» (счет %2) в поле «%3» %4")
                .arg(employee.Fio100, employee.Accnt, field, fault));
    }
}

} // namespace

QByteArray Build(const ExportData::Organisation& organisation,
                 const QList<ExportData::ListedEmployee>& employees)
{
    CodePage codePage;
    CheckOrganisationField(organisation, organisation.Accnt, QStringLiteral("Расчетный счет"),
                           codePage);
    CheckOrganisationField(organisation, organisation.Contract,
                           QStringLiteral("Номер зарплатного соглашения"), codePage);
    CheckOrganisationField(organisation, organisation.Organization120,
                           QStringLiteral("Название организации"), codePage);

    QString text;
    text.reserve((employees.size() + 5) * 80);
    text += Separator + LineEnd;
    text += HeaderStart + organisation.Accnt + QLatin1Char(';') + organisation.Contract +
            QLatin1Char(';') + organisation.Organization120 + LineEnd;

    ExportData::Money total;
    for (const ExportData::ListedEmployee& employee : employees) {
        CheckEmployeeField(employee, employee.Fio100, QStringLiteral("ФИО"), codePage);
        CheckEmployeeField(employee, employee.Accnt, QStringLiteral("Счет"), codePage);
        CheckEmployeeField(employee, employee.Amount, QStringLiteral("Сумма"), codePage);
        total += ExportData::ReadAmount(employee.Amount, employee.Fio100);
        text += employee.Fio100 + QLatin1Char(';') + employee.Accnt + QLatin1Char(';') +
                employee.Amount + LineEnd;
    }

    text += Separator + LineEnd;
    text += TotalCaption.leftJustified(TotalColumn, QLatin1Char(' ')) + total.toString() + LineEnd;
    return codePage.Encode(text);
}

void Write(QIODevice& device, const ExportData::Organisation& organisation,
           const QList<ExportData::ListedEmployee>& employees)
{
    Write(device, Build(organisation, employees));
}

void Write(QIODevice& device, const QByteArray& bytes)
{
    if (device.write(bytes) != bytes.size())
        throw Exception(QStringLiteral("Реестр не записан: %1")
                            .arg(SystemReason::InRussian(device.errorString())));
}

} // namespace TextRegister

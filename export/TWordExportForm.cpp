#include "export/TWordExportForm.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "amount/Amount.h"
#include "core/Platform.h"
#include "export/DocumentViewer.h"
#include "export/ExportJournal.h"
#include "export/word/WordAutomation.h"
#include "export/word/WordError.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/TPathBuilder.h"
#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"
#include "ui/WindowPlacement.h"

namespace {

TWordExportForm* g_instance = nullptr;

const QString TablePlaceholder = QStringLiteral("<<TABLE>>");

bool IsSeparator(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

// The first character of a word, a surrogate pair kept whole.
QString Initial(const QString& word)
{
    if (word.isEmpty())
        return {};
    return word.left(word.at(0).isHighSurrogate() && word.size() > 1 ? 2 : 1);
}

} // namespace

TWordExportForm::TWordExportForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WordExportForm"));
    setWindowTitle(QStringLiteral("WordExportForm"));

    TopLabel = new QLabel(QStringLiteral("Экспорт данных в MS WORD"), this);
    TopLabel->setObjectName(QStringLiteral("TopLabel"));
    TemplateLabel = new QLabel(this);
    TemplateLabel->setObjectName(QStringLiteral("TemplateLabel"));
    TemplateLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ExportProgressBar = new QProgressBar(this);
    ExportProgressBar->setObjectName(QStringLiteral("ExportProgressBar"));
    ExportProgressBar->setTextVisible(false);
    StartButton = new QPushButton(QStringLiteral("Начать"), this);
    StartButton->setObjectName(QStringLiteral("StartButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TopLabel);
    layout->addWidget(TemplateLabel);
    layout->addWidget(ExportProgressBar);
    layout->addWidget(StartButton, 0, Qt::AlignHCenter);
    setMinimumWidth(150);

    setTabOrder(ExportProgressBar, StartButton);
    connect(StartButton, &QPushButton::clicked, this, &TWordExportForm::StartButtonClick);

    g_instance = this;
}

TWordExportForm::~TWordExportForm()
{
    if (g_instance == this)
        g_instance = nullptr;
}

TWordExportForm* TWordExportForm::Instance()
{
    return g_instance;
}

void TWordExportForm::showEvent(QShowEvent* event)
{
    ShowTemplate();
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CenterOnScreen(this);
}

void TWordExportForm::ShowTemplate()
{
    TemplateLabel->setText(QStringLiteral("Шаблон: ") + QDir::toNativeSeparators(TemplatePath()));
    // The path may be longer than the window was made for.
    layout()->activate();
    resize(size().expandedTo(sizeHint()));
}

void TWordExportForm::SetData(TTable& Data, TTable& Config, const QString& str)
{
    this->Data = &Data;
    this->Config = &Config;
    this->str = str;
}

QString TWordExportForm::TemplatePath()
{
    const QString name = QStringLiteral("export_template.doc");
    QString office;
    try {
        office = TPathBuilder::GetTemplatesPath() + name;
    } catch (const Exception&) {
        // No base folder: the export reports it at the out folder; the packaged one is shown.
    }
    if (!office.isEmpty() && QFileInfo(office).isFile())
        return office;
    return QDir::cleanPath(
        QDir(Platform::ProgramFolder()).filePath(QStringLiteral("templates/") + name));
}

void TWordExportForm::StartButtonClick()
{
    // A choice that names no organisation ends the export with its message; the window
    // closes either way.
    Guarded([this] { Export(); });
    StartButton->setText(QStringLiteral("Готово"));
    close();
}

void TWordExportForm::Export()
{
    if (!Data || !Config)
        return;
    // Read as stored, every amount checked: an unreadable one makes no statement at all.
    const ExportData::ExportRows rows = ExportData::ReadExport(*Data, *Config, str);
    const QList<ExportData::Organisation>& organisations = rows.organisations;
    const QList<ExportData::OutputFile> files =
        ExportData::OutputFiles(str, organisations, &TPathBuilder::GetOutWordPath);
    QList<std::pair<QString, ExportData::OutputFile>> saved;
    ExportJournal journal(TRegisterJournal::KindStatement);
    for (qsizetype i = 0; i < organisations.size(); ++i) {
        const ExportData::Organisation& organisation = organisations[i];
        temp = organisation.Organization120;
        try {
            // The statement prints its journal number: its row is taken first and kept only
            // once the file is in place. It is shown after that.
            WordApplication Word(&DocumentViewer::Open);
            journal.KeepNumbered(organisation, files[i].path, int(rows.listed[i].size()),
                                 ExportData::Total(rows.listed[i]),
                                 [&](qint64 number, QDate date) {
                                     return BuildStatement(Word, organisation, rows.listed[i],
                                                           files[i].path, number, date);
                                 });
            saved.append({temp, files[i]});
            Word.SetVisible(true);
        } catch (const EAbort&) {
            throw;
        } catch (const Exception& error) {
            Messages::ShowDetailedMessage(QStringLiteral("Error"), QStringLiteral("Export"),
                                          error.Message());
        } catch (const std::exception& error) {
            Messages::ShowDetailedMessage(QStringLiteral("Error"), QStringLiteral("Export"),
                                          QString::fromLocal8Bit(error.what()));
        }
    }
    const QString closing = journal.ClosingNote(ExportData::RenamedFilesNote(saved));
    if (!closing.isEmpty())
        Messages::ShowMessage(closing);
}

QByteArray TWordExportForm::BuildStatement(WordApplication& Word,
                                           const ExportData::Organisation& organisation,
                                           const QList<ExportData::ListedEmployee>& listed,
                                           const QString& path, qint64 number, QDate date)
{
    Word.Documents().Open(TemplatePath());
    WordSelection selection = Word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    // Ours first, so a name that happens to hold one of these marks is left as it is.
    const QString totalText = ExportData::Total(listed).toString();
    FindAndReplace(Word.Selection(), QStringLiteral("<<NUMBER>>"), QString::number(number));
    FindAndReplace(Word.Selection(), QStringLiteral("<<DATE>>"),
                   date.toString(QStringLiteral("dd.MM.yyyy")));
    FindAndReplace(Word.Selection(), QStringLiteral("<<COUNT>>"), QString::number(listed.size()));
    FindAndReplace(Word.Selection(), QStringLiteral("<<KOPECKS>>"), totalText.right(2));
    FindAndReplace(Word.Selection(), QStringLiteral("<<DIRECTOR>>"),
                   ShortenName(organisation.Director));
    FindAndReplace(Word.Selection(), QStringLiteral("<<BOOKKEEPER>>"),
                   ShortenName(organisation.Accountant));
    FindAndReplace(Word.Selection(), QStringLiteral("<<NAMECOMPANY>>"),
                   organisation.Organization120);
    std::optional<WordTable> table = FindTable(Word.Selection(), TablePlaceholder);
    const QString total = FillTable(table, listed);
    // A placeholder no cell write replaced (nobody listed) must not show: the row stays empty.
    FindAndReplace(Word.Selection(), TablePlaceholder, QString());
    FindAndReplace(Word.Selection(), QStringLiteral("<<SUM>>"), total);
    Word.Selection().Font().SetUnderline(true);
    FindAndReplace(Word.Selection(), QStringLiteral("<<SPELLSUM>>"),
                   Amount::AmountToWords(total.left(total.size() - 3)));
    Word.Selection().Font().SetUnderline(true);
    return Word.ActiveDocument().SaveAs(path);
}

void TWordExportForm::FindAndReplace(WordSelection Selection, const QString& Find,
                                     const QString& Replace)
{
    Selection.SetEnd(0);
    Selection.SetStart(0);
    WordFind finder = Selection.Find();
    finder.SetForward(true);
    finder.SetText(Find);
    if (finder.Execute()) {
        Selection.Delete();
        Selection.InsertAfter(Replace);
    }
}

std::optional<WordTable> TWordExportForm::FindTable(WordSelection Selection, const QString& Find)
{
    Selection.SetEnd(0);
    Selection.SetStart(0);
    WordFind finder = Selection.Find();
    finder.SetForward(true);
    finder.SetText(Find);
    if (finder.Execute() && Selection.Information(WordSelection::WithInTable).toBool())
        return Selection.Tables().Item(1);
    return std::nullopt;
}

QString TWordExportForm::FillTable(std::optional<WordTable>& WordTable,
                                   const QList<ExportData::ListedEmployee>& Data)
{
    ExportProgressBar->setRange(0, std::max<int>(1, static_cast<int>(Data.size())));
    ExportProgressBar->setValue(0);
    ExportData::Money total;
    int row = 2;
    for (const ExportData::ListedEmployee& employee : Data) {
        if (!WordTable)
            throw EWordError(
                QStringLiteral("В шаблоне %1 нет таблицы с меткой %2")
                    .arg(QDir::toNativeSeparators(TemplatePath()), TablePlaceholder));
        if (row > 2)
            WordTable->Rows().Add();
        const WordColumns columns = WordTable->Columns();
        columns.Item(1).Cells().Item(row).Range().SetText(QString::number(row - 1));
        columns.Item(2).Cells().Item(row).Range().SetText(employee.Fio100);
        columns.Item(3).Cells().Item(row).Range().SetText(employee.Accnt);
        columns.Item(4).Cells().Item(row).Range().SetText(employee.Amount);
        total += ExportData::ReadAmount(employee.Amount, employee.Fio100);
        ExportProgressBar->setValue(row - 1);
        ++row;
    }
    return total.toString();
}

QString TWordExportForm::ShortenName(const QString& name)
{
    // A NUL ends the name, as it ends a C string.
    const QString text = name.left(name.indexOf(QChar(0)) >= 0 ? name.indexOf(QChar(0)) : name.size());
    QStringList words;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsSeparator(text.at(i)))
        ++i;
    while (i < n) {
        QString word;
        if (text.at(i) == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        word += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += text.at(i++);
            }
        } else {
            while (i < n && !IsSeparator(text.at(i)))
                word += text.at(i++);
        }
        words.append(word);
        while (i < n && IsSeparator(text.at(i)))
            ++i;
    }

    switch (words.size()) {
    case 0:
        return {};
    case 1:
        return words[0];
    case 2:
        return Initial(words[1]) + QStringLiteral(". ") + words[0];
    default:
        return Initial(words[1]) + QLatin1Char('.') + Initial(words[2]) + QStringLiteral(". ") +
               words[0];
    }
}

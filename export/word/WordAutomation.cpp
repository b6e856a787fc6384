#include "export/word/WordAutomation.h"

#include <algorithm>
#include <vector>

#include "export/word/DocxDocument.h"
#include "export/word/DocxPackage.h"
#include "export/word/WordError.h"

struct WordDocumentState
{
    WordDocumentState(DocxPackage package_, const QString& part_)
        : package(std::move(package_)), part(part_), body(package.Part(part))
    {
    }

    DocxPackage package;
    QString part; // the main document part
    DocxDocument body;
    int start = 0;
    int end = 0;
    bool forward = true;
    QString findText;
    QString savedPath;
    bool shown = false;
};

struct WordApplicationState
{
    WordApplication::Viewer viewer;
    bool visible = false;
    std::vector<std::shared_ptr<WordDocumentState>> documents;
    std::shared_ptr<WordDocumentState> active;

    void Show(WordDocumentState& document)
    {
        if (!visible || document.shown || document.savedPath.isEmpty())
            return;
        document.shown = true;
        if (viewer)
            viewer(document.savedPath);
    }
};

WordRange::WordRange(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int row,
                     int column)
    : m_document(std::move(document)), m_table(table), m_row(row), m_column(column)
{
}

QString WordRange::Text() const
{
    return m_document->body.CellText(m_table, m_row, m_column);
}

void WordRange::SetText(const QString& text)
{
    m_document->body.SetCellText(m_table, m_row, m_column, text);
}

WordCell::WordCell(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int row,
                   int column)
    : m_document(std::move(document)), m_table(table), m_row(row), m_column(column)
{
}

WordRange WordCell::Range() const
{
    return WordRange(m_document, m_table, m_row, m_column);
}

WordCells::WordCells(std::shared_ptr<WordDocumentState> document, pugi::xml_node table,
                     int column)
    : m_document(std::move(document)), m_table(table), m_column(column)
{
}

WordCell WordCells::Item(int row) const
{
    return WordCell(m_document, m_table, row, m_column);
}

WordColumn::WordColumn(std::shared_ptr<WordDocumentState> document, pugi::xml_node table,
                       int column)
    : m_document(std::move(document)), m_table(table), m_column(column)
{
}

WordCells WordColumn::Cells() const
{
    return WordCells(m_document, m_table, m_column);
}

WordColumns::WordColumns(std::shared_ptr<WordDocumentState> document, pugi::xml_node table)
    : m_document(std::move(document)), m_table(table)
{
}

WordColumn WordColumns::Item(int column) const
{
    return WordColumn(m_document, m_table, column);
}

WordRows::WordRows(std::shared_ptr<WordDocumentState> document, pugi::xml_node table)
    : m_document(std::move(document)), m_table(table)
{
}

int WordRows::Count() const
{
    return m_document->body.RowCount(m_table);
}

void WordRows::Add()
{
    m_document->body.AddRow(m_table);
}

WordTable::WordTable(std::shared_ptr<WordDocumentState> document, pugi::xml_node table)
    : m_document(std::move(document)), m_table(table)
{
}

WordRows WordTable::Rows() const
{
    return WordRows(m_document, m_table);
}

WordColumns WordTable::Columns() const
{
    return WordColumns(m_document, m_table);
}

WordTables::WordTables(std::shared_ptr<WordDocumentState> document, pugi::xml_node table)
    : m_document(std::move(document)), m_table(table)
{
}

int WordTables::Count() const
{
    return m_table ? 1 : 0;
}

WordTable WordTables::Item(int index) const
{
    if (index != 1 || !m_table)
        throw EWordError(QStringLiteral("Таблица %1 не найдена").arg(index));
    return WordTable(m_document, m_table);
}

WordFont::WordFont(std::shared_ptr<WordDocumentState> document) : m_document(std::move(document))
{
}

void WordFont::SetUnderline(bool underline)
{
    m_document->body.SetUnderline({m_document->start, m_document->end}, underline);
}

WordFind::WordFind(std::shared_ptr<WordDocumentState> document) : m_document(std::move(document))
{
}

void WordFind::SetForward(bool forward)
{
    m_document->forward = forward;
}

void WordFind::SetText(const QString& text)
{
    m_document->findText = text;
}

bool WordFind::Execute()
{
    WordDocumentState& d = *m_document;
    const int from = !d.forward || d.start == d.end ? d.start : d.end;
    const auto found = d.body.Find(d.findText, from, d.forward);
    if (!found)
        return false;
    d.start = found->start;
    d.end = found->end;
    return true;
}

WordSelection::WordSelection(std::shared_ptr<WordDocumentState> document)
    : m_document(std::move(document))
{
}

int WordSelection::Start() const
{
    return m_document->start;
}

int WordSelection::End() const
{
    return m_document->end;
}

void WordSelection::SetStart(int position)
{
    WordDocumentState& d = *m_document;
    d.start = std::clamp(position, 0, d.body.Length());
    d.end = std::max(d.end, d.start);
}

void WordSelection::SetEnd(int position)
{
    WordDocumentState& d = *m_document;
    d.end = std::clamp(position, 0, d.body.Length());
    d.start = std::min(d.start, d.end);
}

QString WordSelection::Text() const
{
    return m_document->body.Text().mid(m_document->start, m_document->end - m_document->start);
}

WordFind WordSelection::Find() const
{
    return WordFind(m_document);
}

void WordSelection::Delete()
{
    WordDocumentState& d = *m_document;
    d.body.Delete({d.start, d.start == d.end ? d.start + 1 : d.end});
    d.end = d.start;
}

void WordSelection::InsertAfter(const QString& text)
{
    WordDocumentState& d = *m_document;
    d.end = d.body.Insert(d.end, text).end;
}

QVariant WordSelection::Information(int item) const
{
    if (item != WithInTable)
        throw EWordError(QStringLiteral("Сведения о выделении %1 не поддерживаются").arg(item));
    return QVariant(static_cast<bool>(m_document->body.TableAt(m_document->start)));
}

WordTables WordSelection::Tables() const
{
    return WordTables(m_document, m_document->body.TableAt(m_document->start));
}

WordFont WordSelection::Font() const
{
    return WordFont(m_document);
}

WordDocument::WordDocument(std::shared_ptr<WordApplicationState> application,
                           std::shared_ptr<WordDocumentState> document)
    : m_application(std::move(application)), m_document(std::move(document))
{
}

QString WordDocument::Text() const
{
    return m_document->body.Text();
}

QByteArray WordDocument::SaveAs(const QString& path)
{
    m_document->package.SetPart(m_document->part, m_document->body.ToXml());
    QByteArray bytes = m_document->package.SaveAs(path);
    if (m_document->savedPath != path) {
        m_document->savedPath = path;
        m_document->shown = false;
    }
    m_application->Show(*m_document);
    return bytes;
}

WordDocuments::WordDocuments(std::shared_ptr<WordApplicationState> application)
    : m_application(std::move(application))
{
}

int WordDocuments::Count() const
{
    return static_cast<int>(m_application->documents.size());
}

WordDocument WordDocuments::Open(const QString& path)
{
    DocxPackage package = DocxPackage::Open(path);
    const QString part = package.MainDocumentPart();
    if (!package.HasPart(part))
        throw EWordError(QStringLiteral("Файл %1 не является документом Word: нет части %2")
                             .arg(path, part));
    auto document = std::make_shared<WordDocumentState>(std::move(package), part);
    m_application->documents.push_back(document);
    m_application->active = document;
    return WordDocument(m_application, document);
}

WordApplication::WordApplication(Viewer viewer) : m_state(std::make_shared<WordApplicationState>())
{
    m_state->viewer = std::move(viewer);
}

WordDocuments WordApplication::Documents() const
{
    return WordDocuments(m_state);
}

WordDocument WordApplication::ActiveDocument() const
{
    if (!m_state->active)
        throw EWordError(QStringLiteral("Нет открытого документа"));
    return WordDocument(m_state, m_state->active);
}

WordSelection WordApplication::Selection() const
{
    if (!m_state->active)
        throw EWordError(QStringLiteral("Нет открытого документа"));
    return WordSelection(m_state->active);
}

bool WordApplication::Visible() const
{
    return m_state->visible;
}

void WordApplication::SetVisible(bool visible)
{
    m_state->visible = visible;
    for (const auto& document : m_state->documents)
        m_state->Show(*document);
}

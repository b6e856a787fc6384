#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <optional>
#include <vector>

// The main document part of a package as an editable text. Positions count the characters of
// the body's paragraphs in document order, each paragraph followed by one paragraph mark, so
// position 0 is the start of the document. A paragraph's text is joined across its runs and
// across the marks between them (proofing, bookmarks, revision ids), as a reader sees it;
// deleted revisions and field codes are not part of it.
class DocxDocument final
{
public:
    struct Range
    {
        int start = 0;
        int end = 0;
    };

    // Throws EWordError when the XML cannot be read.
    explicit DocxDocument(const QByteArray& xml);
    DocxDocument(const DocxDocument&) = delete;
    DocxDocument& operator=(const DocxDocument&) = delete;

    QByteArray ToXml() const;

    int Length() const;
    // The text of the whole body, paragraph marks as '\r'.
    QString Text() const;

    // The first occurrence of `text` starting at or after `from` (forward), or the last one
    // ending at or before `from` (backward). An occurrence never spans paragraphs.
    std::optional<Range> Find(const QString& text, int from, bool forward = true) const;

    // Removes the text of a range inside one paragraph. The first run it touched stays, empty,
    // where the range began: text inserted there next takes that run's formatting.
    void Delete(Range range);
    // Inserts text at a position and returns the range it covers. Tabs and line breaks become
    // their own marks; other control characters are dropped.
    Range Insert(int position, const QString& text);
    // Underlines (or stops underlining) exactly the text of the range.
    void SetUnderline(Range range, bool underline);

    // The innermost table that holds the position, or a null node.
    pugi::xml_node TableAt(int position) const;

    // Table editing; a table is a node that TableAt returned.
    static int RowCount(pugi::xml_node table);
    // Appends a copy of the last row with its row, cell and paragraph properties and no text.
    void AddRow(pugi::xml_node table);
    // Replaces the whole text of a cell (1-based); throws EWordError when there is no such cell.
    void SetCellText(pugi::xml_node table, int row, int column, const QString& text);
    static QString CellText(pugi::xml_node table, int row, int column);

private:
    struct Segment
    {
        pugi::xml_node node; // w:t, or a one-character mark such as w:tab
        pugi::xml_node run;
        int start;  // in the document
        int length; // characters
    };
    struct Paragraph
    {
        pugi::xml_node node;
        int start; // of its text; its mark follows at start + length
        int length;
        QString text;
        size_t firstSegment;
        size_t segmentCount;
    };

    const std::vector<Paragraph>& Paragraphs() const;
    const Paragraph& ParagraphAt(int position) const;
    void Changed();
    // Makes `position` fall between two runs, splitting a run (and its text) when needed.
    void SplitAt(int position);
    std::vector<pugi::xml_node> RunsIn(Range range) const;
    static pugi::xml_node CellAt(pugi::xml_node table, int row, int column);

    pugi::xml_document m_xml;
    pugi::xml_node m_body;
    mutable std::vector<Paragraph> m_paragraphs;
    mutable std::vector<Segment> m_segments;
    mutable bool m_indexed = false;

    // The emptied first run of the last deletion, waiting for text at that position.
    pugi::xml_node m_caretRun;
    int m_caretPosition = -1;
};

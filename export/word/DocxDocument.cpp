#include "export/word/DocxDocument.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "export/word/WordError.h"

namespace {

bool Is(pugi::xml_node node, const char* name)
{
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// One-character marks inside a run, with the character a reader sees for them.
QChar MarkCharacter(pugi::xml_node node)
{
    if (Is(node, "w:tab"))
        return QLatin1Char('\t');
    if (Is(node, "w:br") || Is(node, "w:cr"))
        return QChar(0x0B);
    return QChar();
}

// Parts of a paragraph that hold no text a reader sees.
bool HoldsNoText(pugi::xml_node node)
{
    static constexpr const char* skipped[] = {"w:pPr",     "w:rPr",      "w:del",
                                              "w:moveFrom", "w:sdtPr",    "w:sdtEndPr",
                                              "mc:AlternateContent", "w:instrText"};
    for (const char* name : skipped)
        if (Is(node, name))
            return true;
    return false;
}

// Containers whose paragraphs belong to the body's text.
bool HoldsParagraphs(pugi::xml_node node)
{
    static constexpr const char* containers[] = {"w:tbl",        "w:tr",          "w:tc",
                                                 "w:sdt",        "w:sdtContent",  "w:customXml",
                                                 "w:ins",        "w:moveTo"};
    for (const char* name : containers)
        if (Is(node, name))
            return true;
    return false;
}

void CollectParagraphs(pugi::xml_node container, std::vector<pugi::xml_node>& out)
{
    for (pugi::xml_node child : container.children()) {
        if (Is(child, "w:p"))
            out.push_back(child);
        else if (HoldsParagraphs(child))
            CollectParagraphs(child, out);
    }
}

// Order of the elements of run properties in the schema; Word refuses other orders.
int RunPropertyRank(std::string_view name)
{
    static constexpr std::string_view order[] = {
        "w:rStyle", "w:rFonts",   "w:b",       "w:bCs",     "w:i",         "w:iCs",
        "w:caps",   "w:smallCaps", "w:strike", "w:dstrike", "w:outline",   "w:shadow",
        "w:emboss", "w:imprint",  "w:noProof", "w:snapToGrid", "w:vanish", "w:webHidden",
        "w:color",  "w:spacing",  "w:w",       "w:kern",    "w:position",  "w:sz",
        "w:szCs",   "w:highlight", "w:u",      "w:effect",  "w:bdr",       "w:shd",
        "w:fitText", "w:vertAlign", "w:rtl",   "w:cs",      "w:em",        "w:lang",
        "w:eastAsianLayout", "w:specVanish", "w:oMath"};
    for (size_t i = 0; i < std::size(order); ++i)
        if (order[i] == name)
            return static_cast<int>(i);
    if (name == "w:rPrChange")
        return 1000;
    return 100; // extensions follow the standard properties
}

void SetPreserve(pugi::xml_node text)
{
    pugi::xml_attribute space = text.attribute("xml:space");
    if (!space)
        space = text.append_attribute("xml:space");
    space.set_value("preserve");
}

pugi::xml_node FirstContent(pugi::xml_node run)
{
    for (pugi::xml_node child : run.children())
        if (child.type() == pugi::node_element && !Is(child, "w:rPr"))
            return child;
    return {};
}

bool HasContent(pugi::xml_node run)
{
    return FirstContent(run) != pugi::xml_node();
}

// Run properties for new text at the end of a paragraph without runs: those of its mark,
// without the mark's own revision records.
void CopyMarkProperties(pugi::xml_node paragraph, pugi::xml_node run)
{
    const pugi::xml_node mark = paragraph.child("w:pPr").child("w:rPr");
    if (!mark)
        return;
    pugi::xml_node properties = run.prepend_copy(mark);
    for (const char* name : {"w:ins", "w:del", "w:moveFrom", "w:moveTo", "w:rPrChange"})
        while (pugi::xml_node record = properties.child(name))
            properties.remove_child(record);
}

// Writes text into a run before `anchor` (or at its end); returns the characters it adds.
int WriteText(pugi::xml_node run, pugi::xml_node anchor, const QString& text)
{
    int length = 0;
    QString piece;
    const auto add = [&](const char* name) {
        return anchor ? run.insert_child_before(name, anchor) : run.append_child(name);
    };
    const auto flush = [&] {
        if (piece.isEmpty())
            return;
        pugi::xml_node t = add("w:t");
        SetPreserve(t);
        t.text().set(piece.toUtf8().constData());
        length += piece.size();
        piece.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
            c == QChar(0x0B)) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            flush();
            add(c == QLatin1Char('\t') ? "w:tab" : "w:br");
            ++length;
        } else if (c.isHighSurrogate()) {
            if (i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                piece.append(c);
                piece.append(text.at(++i));
            }
        } else if (c.unicode() >= 0x20 && !c.isLowSurrogate() && c.unicode() != 0xFFFE &&
                   c.unicode() != 0xFFFF) {
            piece.append(c); // characters XML cannot carry are dropped
        }
    }
    flush();
    return length;
}

std::vector<pugi::xml_node> RowsOf(pugi::xml_node table)
{
    std::vector<pugi::xml_node> rows;
    for (pugi::xml_node child : table.children("w:tr"))
        rows.push_back(child);
    return rows;
}

void CollectCells(pugi::xml_node container, std::vector<pugi::xml_node>& out)
{
    for (pugi::xml_node child : container.children()) {
        if (Is(child, "w:tc"))
            out.push_back(child);
        else if (Is(child, "w:sdt") || Is(child, "w:sdtContent") || Is(child, "w:customXml"))
            CollectCells(child, out);
    }
}

pugi::xml_node FirstRunIn(pugi::xml_node node)
{
    return node.find_node([](pugi::xml_node n) {
        return Is(n, "w:r") && !Is(n.parent(), "w:del") && !Is(n.parent(), "w:moveFrom");
    });
}

void DropCopiedIds(pugi::xml_node node)
{
    for (const char* name : {"w14:paraId", "w14:textId"})
        node.remove_attribute(name);
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element)
            DropCopiedIds(child);
}

// Leaves a cell with its properties and one paragraph holding `run` (or nothing else).
void EmptyCell(pugi::xml_node cell, pugi::xml_node paragraph, pugi::xml_node keepRun)
{
    for (pugi::xml_node child = cell.first_child(); child;) {
        const pugi::xml_node next = child.next_sibling();
        if (child != paragraph && !Is(child, "w:tcPr"))
            cell.remove_child(child);
        child = next;
    }
    for (pugi::xml_node child = paragraph.first_child(); child;) {
        const pugi::xml_node next = child.next_sibling();
        if (child != keepRun && !Is(child, "w:pPr"))
            paragraph.remove_child(child);
        child = next;
    }
}

// The first paragraph of a cell, made when the cell has none.
pugi::xml_node CellParagraph(pugi::xml_node cell)
{
    if (pugi::xml_node paragraph = cell.child("w:p"))
        return paragraph;
    return cell.append_child("w:p");
}

// A new run in the cell's first paragraph, formatted as the first run of the cell was.
pugi::xml_node FreshCellRun(pugi::xml_node cell, pugi::xml_node paragraph)
{
    pugi::xml_node run = paragraph.append_child("w:r");
    const pugi::xml_node model = FirstRunIn(cell);
    if (model && model != run) {
        if (pugi::xml_node properties = model.child("w:rPr"))
            run.prepend_copy(properties);
    } else {
        CopyMarkProperties(paragraph, run);
    }
    return run;
}

} // namespace

DocxDocument::DocxDocument(const QByteArray& xml)
{
    const pugi::xml_parse_result result =
        m_xml.load_buffer(xml.constData(), static_cast<size_t>(xml.size()),
                          pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata,
                          pugi::encoding_utf8);
    if (!result)
        throw EWordError(QStringLiteral("Документ поврежден: %1 (позиция %2)")
                             .arg(QString::fromUtf8(result.description()))
                             .arg(result.offset));
    m_body = m_xml.child("w:document").child("w:body");
    if (!m_body)
        throw EWordError(QStringLiteral("Документ поврежден: в нем нет основного текста"));
}

QByteArray DocxDocument::ToXml() const
{
    struct Writer final : pugi::xml_writer
    {
        QByteArray bytes;
        void write(const void* data, size_t size) override
        {
            bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
        }
    } writer;
    m_xml.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return writer.bytes;
}

void DocxDocument::Changed()
{
    m_indexed = false;
}

const std::vector<DocxDocument::Paragraph>& DocxDocument::Paragraphs() const
{
    if (m_indexed)
        return m_paragraphs;
    std::vector<pugi::xml_node> nodes;
    CollectParagraphs(m_body, nodes);
    m_paragraphs.clear();
    m_segments.clear();
    m_paragraphs.reserve(nodes.size());
    int position = 0;
    for (pugi::xml_node node : nodes) {
        Paragraph paragraph{node, position, 0, QString(), m_segments.size(), 0};
        // Walks the paragraph's text in document order, runs nested in links, insertions,
        // content controls and the like included.
        const auto walk = [&](auto&& self, pugi::xml_node container) -> void {
            for (pugi::xml_node child : container.children()) {
                if (child.type() != pugi::node_element || HoldsNoText(child))
                    continue;
                if (!Is(child, "w:r")) {
                    self(self, child);
                    continue;
                }
                for (pugi::xml_node item : child.children()) {
                    QString text;
                    if (Is(item, "w:t"))
                        text = QString::fromUtf8(item.child_value());
                    else if (const QChar mark = MarkCharacter(item); !mark.isNull())
                        text = mark;
                    if (text.isEmpty())
                        continue;
                    m_segments.push_back(
                        Segment{item, child, position, static_cast<int>(text.size())});
                    paragraph.text += text;
                    position += static_cast<int>(text.size());
                }
            }
        };
        walk(walk, node);
        paragraph.length = static_cast<int>(paragraph.text.size());
        paragraph.segmentCount = m_segments.size() - paragraph.firstSegment;
        m_paragraphs.push_back(std::move(paragraph));
        ++position; // the paragraph mark
    }
    m_indexed = true;
    return m_paragraphs;
}

int DocxDocument::Length() const
{
    const auto& paragraphs = Paragraphs();
    return paragraphs.empty() ? 0 : paragraphs.back().start + paragraphs.back().length + 1;
}

QString DocxDocument::Text() const
{
    QString text;
    for (const Paragraph& paragraph : Paragraphs())
        text += paragraph.text + QLatin1Char('\r');
    return text;
}

const DocxDocument::Paragraph& DocxDocument::ParagraphAt(int position) const
{
    const auto& paragraphs = Paragraphs();
    auto it = std::upper_bound(paragraphs.begin(), paragraphs.end(), position,
                               [](int p, const Paragraph& paragraph) { return p < paragraph.start; });
    if (position < 0 || it == paragraphs.begin())
        throw EWordError(QStringLiteral("Позиция %1 вне документа").arg(position));
    --it;
    if (position > it->start + it->length)
        throw EWordError(QStringLiteral("Позиция %1 вне документа").arg(position));
    return *it;
}

std::optional<DocxDocument::Range> DocxDocument::Find(const QString& text, int from,
                                                      bool forward) const
{
    if (text.isEmpty())
        return std::nullopt;
    const auto& paragraphs = Paragraphs();
    const int length = static_cast<int>(text.size());
    if (forward) {
        for (const Paragraph& paragraph : paragraphs) {
            if (paragraph.start + paragraph.length < from)
                continue;
            const qsizetype at = paragraph.text.indexOf(text, std::max(0, from - paragraph.start));
            if (at >= 0)
                return Range{paragraph.start + static_cast<int>(at),
                             paragraph.start + static_cast<int>(at) + length};
        }
    } else {
        for (auto it = paragraphs.rbegin(); it != paragraphs.rend(); ++it) {
            const int limit = std::min(it->length, from - it->start) - length;
            if (limit < 0)
                continue;
            const qsizetype at = it->text.lastIndexOf(text, limit);
            if (at >= 0)
                return Range{it->start + static_cast<int>(at),
                             it->start + static_cast<int>(at) + length};
        }
    }
    return std::nullopt;
}

namespace {

// Splits a run before one of its children: the children from `child` on move to a copy of the
// run placed after it. Returns the run that starts with `child`.
pugi::xml_node SplitRunBefore(pugi::xml_node run, pugi::xml_node child)
{
    int index = 0;
    bool contentBefore = false;
    for (pugi::xml_node c = run.first_child(); c && c != child; c = c.next_sibling(), ++index)
        if (c.type() == pugi::node_element && !Is(c, "w:rPr"))
            contentBefore = true;
    if (!contentBefore)
        return run;
    pugi::xml_node copy = run.parent().insert_copy_after(run, run);
    pugi::xml_node c = run.first_child();
    for (int i = 0; i < index; ++i)
        c = c.next_sibling();
    while (c) {
        const pugi::xml_node next = c.next_sibling();
        run.remove_child(c);
        c = next;
    }
    c = copy.first_child();
    for (int i = 0; i < index; ++i) {
        const pugi::xml_node next = c.next_sibling();
        if (!Is(c, "w:rPr"))
            copy.remove_child(c);
        c = next;
    }
    return copy;
}

} // namespace

void DocxDocument::SplitAt(int position)
{
    const Paragraph& paragraph = ParagraphAt(position);
    for (size_t i = paragraph.firstSegment; i < paragraph.firstSegment + paragraph.segmentCount;
         ++i) {
        Segment segment = m_segments[i];
        if (segment.start < position && position < segment.start + segment.length) {
            const QString text = QString::fromUtf8(segment.node.child_value());
            const int cut = position - segment.start;
            pugi::xml_node tail = segment.run.insert_copy_after(segment.node, segment.node);
            segment.node.text().set(text.left(cut).toUtf8().constData());
            tail.text().set(text.mid(cut).toUtf8().constData());
            SetPreserve(segment.node);
            SetPreserve(tail);
            SplitRunBefore(segment.run, tail);
            Changed();
            return;
        }
        if (segment.start == position) {
            if (SplitRunBefore(segment.run, segment.node) != segment.run)
                Changed();
            return;
        }
    }
}

std::vector<pugi::xml_node> DocxDocument::RunsIn(Range range) const
{
    Paragraphs();
    std::vector<pugi::xml_node> runs;
    for (const Segment& segment : m_segments) {
        if (segment.start < range.start || segment.start + segment.length > range.end)
            continue;
        if (runs.empty() || runs.back() != segment.run)
            runs.push_back(segment.run);
    }
    return runs;
}

void DocxDocument::Delete(Range range)
{
    if (range.start >= range.end)
        return;
    const Paragraph& paragraph = ParagraphAt(range.start);
    if (range.end > paragraph.start + paragraph.length)
        throw EWordError(QStringLiteral("Удаление знака абзаца не поддерживается"));
    SplitAt(range.end);
    SplitAt(range.start);
    Paragraphs();
    pugi::xml_node first;
    std::vector<pugi::xml_node> touched;
    for (Segment segment : m_segments) {
        if (segment.start < range.start || segment.start + segment.length > range.end)
            continue;
        if (!first)
            first = segment.run;
        if (touched.empty() || touched.back() != segment.run)
            touched.push_back(segment.run);
        segment.run.remove_child(segment.node);
    }
    for (pugi::xml_node run : touched)
        if (run != first && !HasContent(run))
            run.parent().remove_child(run);
    Changed();
    m_caretRun = first;
    m_caretPosition = range.start;
}

DocxDocument::Range DocxDocument::Insert(int position, const QString& text)
{
    pugi::xml_node run;
    pugi::xml_node anchor;
    if (m_caretRun && m_caretRun.parent() && m_caretPosition == position) {
        run = m_caretRun;
        anchor = FirstContent(run);
    } else {
        SplitAt(position);
        const Paragraph& paragraph = ParagraphAt(position);
        const Segment* after = nullptr;
        const Segment* before = nullptr;
        for (size_t i = paragraph.firstSegment;
             i < paragraph.firstSegment + paragraph.segmentCount; ++i) {
            const Segment& segment = m_segments[i];
            if (segment.start == position) {
                after = &segment;
                break;
            }
            if (segment.start + segment.length == position)
                before = &segment;
        }
        if (after) {
            run = after->run.parent().insert_child_before("w:r", after->run);
            if (pugi::xml_node properties = after->run.child("w:rPr"))
                run.append_copy(properties);
        } else if (before) {
            run = before->run.parent().insert_child_after("w:r", before->run);
            if (pugi::xml_node properties = before->run.child("w:rPr"))
                run.append_copy(properties);
        } else {
            pugi::xml_node node = paragraph.node;
            run = node.append_child("w:r");
            CopyMarkProperties(paragraph.node, run);
        }
    }
    m_caretRun = pugi::xml_node();
    m_caretPosition = -1;
    const int length = WriteText(run, anchor, text);
    Changed();
    return Range{position, position + length};
}

void DocxDocument::SetUnderline(Range range, bool underline)
{
    if (range.start >= range.end)
        return;
    SplitAt(range.end);
    SplitAt(range.start);
    for (pugi::xml_node run : RunsIn(range)) {
        pugi::xml_node properties = run.child("w:rPr");
        if (!properties)
            properties = run.prepend_child("w:rPr");
        pugi::xml_node mark = properties.child("w:u");
        if (!mark) {
            const int rank = RunPropertyRank("w:u");
            pugi::xml_node next;
            for (pugi::xml_node child : properties.children())
                if (child.type() == pugi::node_element && RunPropertyRank(child.name()) > rank) {
                    next = child;
                    break;
                }
            mark = next ? properties.insert_child_before("w:u", next)
                        : properties.append_child("w:u");
        }
        pugi::xml_attribute value = mark.attribute("w:val");
        if (!value)
            value = mark.append_attribute("w:val");
        value.set_value(underline ? "single" : "none");
    }
}

pugi::xml_node DocxDocument::TableAt(int position) const
{
    const Paragraph& paragraph = ParagraphAt(position);
    for (pugi::xml_node node = paragraph.node.parent(); node && node != m_body;
         node = node.parent())
        if (Is(node, "w:tbl"))
            return node;
    return {};
}

int DocxDocument::RowCount(pugi::xml_node table)
{
    return static_cast<int>(RowsOf(table).size());
}

void DocxDocument::AddRow(pugi::xml_node table)
{
    const std::vector<pugi::xml_node> rows = RowsOf(table);
    if (rows.empty())
        throw EWordError(QStringLiteral("В таблице нет строк"));
    pugi::xml_node row = table.insert_copy_after(rows.back(), rows.back());
    DropCopiedIds(row);
    std::vector<pugi::xml_node> cells;
    CollectCells(row, cells);
    for (pugi::xml_node cell : cells) {
        pugi::xml_node paragraph = CellParagraph(cell);
        pugi::xml_node run = FreshCellRun(cell, paragraph);
        EmptyCell(cell, paragraph, run);
    }
    m_caretRun = pugi::xml_node();
    m_caretPosition = -1;
    Changed();
}

pugi::xml_node DocxDocument::CellAt(pugi::xml_node table, int row, int column)
{
    const std::vector<pugi::xml_node> rows = RowsOf(table);
    if (row < 1 || row > static_cast<int>(rows.size()))
        return {};
    std::vector<pugi::xml_node> cells;
    CollectCells(rows[static_cast<size_t>(row - 1)], cells);
    if (column < 1 || column > static_cast<int>(cells.size()))
        return {};
    return cells[static_cast<size_t>(column - 1)];
}

void DocxDocument::SetCellText(pugi::xml_node table, int row, int column, const QString& text)
{
    pugi::xml_node cell = table ? CellAt(table, row, column) : pugi::xml_node();
    if (!cell)
        throw EWordError(QStringLiteral("В таблице нет ячейки: строка %1, столбец %2")
                             .arg(row)
                             .arg(column));
    pugi::xml_node paragraph = CellParagraph(cell);
    pugi::xml_node run = FreshCellRun(cell, paragraph);
    EmptyCell(cell, paragraph, run);
    WriteText(run, pugi::xml_node(), text);
    m_caretRun = pugi::xml_node();
    m_caretPosition = -1;
    Changed();
}

QString DocxDocument::CellText(pugi::xml_node table, int row, int column)
{
    const pugi::xml_node cell = CellAt(table, row, column);
    QString text;
    bool firstParagraph = true;
    for (pugi::xml_node paragraph : cell.children("w:p")) {
        if (!firstParagraph)
            text += QLatin1Char('\n');
        firstParagraph = false;
        for (pugi::xml_node node = paragraph.first_child(); node;) {
            // document-order walk of the paragraph, skipping what holds no text
            if (node.type() == pugi::node_element && !HoldsNoText(node)) {
                if (Is(node, "w:t"))
                    text += QString::fromUtf8(node.child_value());
                else if (const QChar mark = MarkCharacter(node); !mark.isNull())
                    text += mark;
                if (node.first_child() && !Is(node, "w:t")) {
                    node = node.first_child();
                    continue;
                }
            }
            while (node && !node.next_sibling() && node.parent() != paragraph)
                node = node.parent();
            node = node ? node.next_sibling() : node;
        }
    }
    return text;
}

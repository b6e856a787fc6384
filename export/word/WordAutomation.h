#pragma once

#include <QString>
#include <QVariant>

#include <pugixml.hpp>

#include <functional>
#include <memory>

// The objects and members of a word processor's automation interface that a statement needs,
// carried out by editing the document package directly. Objects are light handles: each one
// refers to the document it came from and stays valid while that document is open.

struct WordDocumentState;
struct WordApplicationState;

// The text of one table cell.
class WordRange final
{
public:
    WordRange(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int row,
              int column);
    QString Text() const;
    // Replaces the whole text of the cell.
    void SetText(const QString& text);

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
    int m_row;
    int m_column;
};

class WordCell final
{
public:
    WordCell(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int row,
             int column);
    WordRange Range() const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
    int m_row;
    int m_column;
};

// The cells of one column, by row number from 1.
class WordCells final
{
public:
    WordCells(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int column);
    WordCell Item(int row) const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
    int m_column;
};

class WordColumn final
{
public:
    WordColumn(std::shared_ptr<WordDocumentState> document, pugi::xml_node table, int column);
    WordCells Cells() const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
    int m_column;
};

class WordColumns final
{
public:
    WordColumns(std::shared_ptr<WordDocumentState> document, pugi::xml_node table);
    WordColumn Item(int column) const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
};

class WordRows final
{
public:
    WordRows(std::shared_ptr<WordDocumentState> document, pugi::xml_node table);
    int Count() const;
    // Appends a row at the end of the table, formatted as the last one and empty.
    void Add();

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
};

class WordTable final
{
public:
    WordTable(std::shared_ptr<WordDocumentState> document, pugi::xml_node table);
    WordRows Rows() const;
    WordColumns Columns() const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
};

// The tables that hold the selection.
class WordTables final
{
public:
    WordTables(std::shared_ptr<WordDocumentState> document, pugi::xml_node table);
    int Count() const;
    // Throws EWordError when there is no table of that number.
    WordTable Item(int index) const;

private:
    std::shared_ptr<WordDocumentState> m_document;
    pugi::xml_node m_table;
};

class WordFont final
{
public:
    explicit WordFont(std::shared_ptr<WordDocumentState> document);
    void SetUnderline(bool underline);

private:
    std::shared_ptr<WordDocumentState> m_document;
};

// The selection's find settings; they persist between calls, as the application keeps them.
class WordFind final
{
public:
    explicit WordFind(std::shared_ptr<WordDocumentState> document);
    void SetForward(bool forward);
    void SetText(const QString& text);
    // True when found; the selection then covers the found text. Searches from the start of a
    // collapsed selection, from the end of one that covers text (forward).
    bool Execute();

private:
    std::shared_ptr<WordDocumentState> m_document;
};

class WordSelection final
{
public:
    // Information item: whether the selection lies within a table.
    static constexpr int WithInTable = 12;

    explicit WordSelection(std::shared_ptr<WordDocumentState> document);

    int Start() const;
    int End() const;
    void SetStart(int position);
    void SetEnd(int position);
    QString Text() const;

    WordFind Find() const;
    // Removes the selected text (the next character when the selection is collapsed).
    void Delete();
    // Inserts text at the end of the selection, which then extends over it.
    void InsertAfter(const QString& text);
    QVariant Information(int item) const;
    WordTables Tables() const;
    WordFont Font() const;

private:
    std::shared_ptr<WordDocumentState> m_document;
};

class WordDocument final
{
public:
    WordDocument(std::shared_ptr<WordApplicationState> application,
                 std::shared_ptr<WordDocumentState> document);
    // The document's whole text, paragraph marks as '\r'.
    QString Text() const;
    // Saves the document under a new name (a temporary file renamed over the target);
    // returns the bytes of the file written.
    QByteArray SaveAs(const QString& path);

private:
    std::shared_ptr<WordApplicationState> m_application;
    std::shared_ptr<WordDocumentState> m_document;
};

class WordDocuments final
{
public:
    explicit WordDocuments(std::shared_ptr<WordApplicationState> application);
    int Count() const;
    // Opens a document package as the active document; throws EWordError when it cannot.
    WordDocument Open(const QString& path);

private:
    std::shared_ptr<WordApplicationState> m_application;
};

class WordApplication final
{
public:
    // Shows a saved document to the user; called for each document saved while visible.
    using Viewer = std::function<void(const QString& path)>;

    explicit WordApplication(Viewer viewer = {});

    WordDocuments Documents() const;
    // Throw EWordError when no document is open.
    WordDocument ActiveDocument() const;
    WordSelection Selection() const;

    bool Visible() const;
    void SetVisible(bool visible);

private:
    std::shared_ptr<WordApplicationState> m_state;
};

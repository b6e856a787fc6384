#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include "export/word/DocxPackage.h"
#include "export/word/WordAutomation.h"

// Fixtures for the statement engine: small packages shaped like those word processors save.
namespace WordTestKit {

// A main document part around body content, with the namespaces Word writes.
inline QByteArray DocumentXml(const QString& body)
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
               " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""
               " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
               "<w:body>%1<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr></w:body>"
               "</w:document>")
        .arg(body)
        .toUtf8();
}

// A package with content types, relationships, the document and `extra` parts after it.
inline DocxPackage MakePackage(const QString& body,
                               const QList<QPair<QString, QByteArray>>& extra = {})
{
    DocxPackage package;
    package.SetPart(
        QStringLiteral("[Content_Types].xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override "
        "PartName=\"/word/document.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>");
    package.SetPart(QStringLiteral("_rels/.rels"),
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                    "officeDocument\" Target=\"word/document.xml\"/></Relationships>");
    package.SetPart(QStringLiteral("word/document.xml"), DocumentXml(body));
    for (const auto& [name, data] : extra)
        package.SetPart(name, data);
    return package;
}

inline QString WritePackage(const QString& folder, const QString& body,
                            const QString& name = QStringLiteral("fixture.docx"))
{
    const QString path = QDir(folder).filePath(name);
    MakePackage(body).SaveAs(path);
    return path;
}

// Replaces the first occurrence of `find` as the statement does: collapse to the start,
// find forward, delete, insert after. Returns whether it was found.
inline bool ReplaceFirst(WordApplication& word, const QString& find, const QString& replacement)
{
    WordSelection selection = word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    WordFind finder = selection.Find();
    finder.SetForward(true);
    finder.SetText(find);
    if (!finder.Execute())
        return false;
    selection.Delete();
    selection.InsertAfter(replacement);
    return true;
}

// The main document part of a saved package, parsed.
inline void LoadDocument(const QString& path, pugi::xml_document& xml)
{
    const QByteArray bytes = DocxPackage::Open(path).Part(QStringLiteral("word/document.xml"));
    xml.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()),
                    pugi::parse_default | pugi::parse_ws_pcdata);
}

inline QString RunText(pugi::xml_node run)
{
    QString text;
    for (pugi::xml_node t : run.children("w:t"))
        text += QString::fromUtf8(t.child_value());
    return text;
}

inline QString Serialized(pugi::xml_node node)
{
    struct Writer final : pugi::xml_writer
    {
        QByteArray bytes;
        void write(const void* data, size_t size) override
        {
            bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
        }
    } writer;
    if (node)
        node.print(writer, "", pugi::format_raw);
    return QString::fromUtf8(writer.bytes);
}

// The texts of the runs that carry an underline other than "none", in document order.
inline QStringList UnderlinedTexts(const pugi::xml_document& xml)
{
    QStringList texts;
    for (const pugi::xpath_node& hit : xml.select_nodes("//w:r[w:rPr/w:u]")) {
        const pugi::xml_node run = hit.node();
        if (QByteArray(run.child("w:rPr").child("w:u").attribute("w:val").value()) != "none")
            texts.append(RunText(run));
    }
    return texts;
}

// Converts a document to plain text with a real word processor; an empty string when none
// is installed.
inline QString ConvertedText(const QString& document, const QString& workFolder)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        return {};
    QProcess process;
    process.setWorkingDirectory(workFolder);
    process.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                            QStringLiteral("-env:UserInstallation=file://") + workFolder +
                                QStringLiteral("/profile"),
                            QStringLiteral("--convert-to"), QStringLiteral("txt:Text (encoded):UTF8"),
                            QStringLiteral("--outdir"), workFolder + QStringLiteral("/txt"),
                            document});
    process.waitForFinished(180000);
    QFile text(workFolder + QStringLiteral("/txt/") + QFileInfo(document).completeBaseName() +
               QStringLiteral(".txt"));
    if (!text.open(QIODevice::ReadOnly))
        return QStringLiteral("<no output: %1>").arg(QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromUtf8(text.readAll());
}

// The table cells of a saved statement's first table, row by row, "|"-joined.
inline QStringList TableRows(const QString& path)
{
    pugi::xml_document xml;
    LoadDocument(path, xml);
    QStringList rows;
    for (const pugi::xpath_node& row : xml.select_nodes("//w:tbl[1]/w:tr")) {
        QStringList cells;
        for (pugi::xml_node cell : row.node().children("w:tc")) {
            QString text;
            for (const pugi::xpath_node& t : cell.select_nodes(".//w:t"))
                text += QString::fromUtf8(t.node().child_value());
            cells.append(text);
        }
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

inline QString DocumentText(const QString& path)
{
    WordApplication reader;
    return reader.Documents().Open(path).Text();
}

} // namespace WordTestKit

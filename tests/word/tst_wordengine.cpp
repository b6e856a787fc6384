#include <QTemporaryDir>
#include <QTest>

#include <pugixml.hpp>

#include "export/word/DocxPackage.h"
#include "export/word/WordAutomation.h"
#include "export/word/WordError.h"
#include "tests/word/WordTestKit.h"

using namespace WordTestKit;

namespace {

const QString Sum = QStringLiteral("<<SUM>>");

// A paragraph as a word processor leaves it after spell checking and editing: the placeholder
// in pieces with revision ids, proofing marks and a bookmark between them.
const QString SplitSum = QStringLiteral(
    "<w:p><w:r w:rsidR=\"00A1\"><w:rPr><w:b/><w:color w:val=\"C00000\"/><w:sz w:val=\"28\"/>"
    "<w:lang w:val=\"ru-RU\"/></w:rPr><w:t xml:space=\"preserve\">Итого: &lt;&lt;</w:t></w:r>"
    "<w:proofErr w:type=\"spellStart\"/><w:bookmarkStart w:id=\"0\" w:name=\"total\"/>"
    "<w:r w:rsidR=\"00B2\"><w:rPr><w:i/></w:rPr><w:t>SU</w:t></w:r><w:bookmarkEnd w:id=\"0\"/>"
    "<w:r w:rsidR=\"00C3\"><w:rPr><w:i/></w:rPr><w:t>M</w:t></w:r><w:proofErr w:type=\"spellEnd\"/>"
    "<w:r><w:t>&gt;&gt; руб.</w:t></w:r></w:p>");

QString Para(const QString& text)
{
    return QStringLiteral("<w:p><w:r><w:t xml:space=\"preserve\">%1</w:t></w:r></w:p>").arg(text);
}

// A table shaped as Word saves one: borders, a heading row, and a body row whose cell carries
// properties, a bookmark and formatted text.
const QString Table = QStringLiteral(
    "<w:tbl><w:tblPr><w:tblW w:w=\"9000\" w:type=\"dxa\"/><w:tblBorders>"
    "<w:top w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>"
    "<w:insideH w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/></w:tblBorders>"
    "</w:tblPr><w:tblGrid><w:gridCol w:w=\"900\"/><w:gridCol w:w=\"8100\"/></w:tblGrid>"
    "<w:tr w14:paraId=\"11111111\"><w:tc><w:tcPr><w:tcW w:w=\"900\" w:type=\"dxa\"/></w:tcPr>"
    "<w:p><w:r><w:t>№</w:t></w:r></w:p></w:tc>"
    "<w:tc><w:tcPr><w:tcW w:w=\"8100\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>ФИО</w:t></w:r>"
    "</w:p></w:tc></w:tr>"
    "<w:tr w14:paraId=\"22222222\"><w:trPr><w:cantSplit/></w:trPr>"
    "<w:tc><w:tcPr><w:tcW w:w=\"900\" w:type=\"dxa\"/><w:tcBorders><w:left w:val=\"double\" "
    "w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/></w:tcBorders><w:shd w:val=\"clear\" "
    "w:color=\"auto\" w:fill=\"EEEEEE\"/></w:tcPr><w:p w14:paraId=\"33333333\"><w:pPr><w:jc "
    "w:val=\"right\"/></w:pPr><w:bookmarkStart w:id=\"5\" w:name=\"rows\"/><w:r><w:rPr><w:b/>"
    "<w:sz w:val=\"20\"/></w:rPr><w:t>&lt;&lt;TA</w:t></w:r><w:proofErr w:type=\"gramStart\"/>"
    "<w:r><w:rPr><w:b/><w:sz w:val=\"20\"/></w:rPr><w:t>BLE&gt;&gt;</w:t></w:r>"
    "<w:bookmarkEnd w:id=\"5\"/></w:p></w:tc>"
    "<w:tc><w:tcPr><w:tcW w:w=\"8100\" w:type=\"dxa\"/></w:tcPr><w:p><w:pPr><w:jc "
    "w:val=\"left\"/><w:rPr><w:sz w:val=\"18\"/></w:rPr></w:pPr><w:r><w:t>было</w:t></w:r></w:p>"
    "<w:p><w:r><w:t>второй абзац</w:t></w:r></w:p></w:tc></w:tr></w:tbl>");

} // namespace

class TestWordEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void replaceFirst_data();
    void replaceFirst();
    void replacementTakesFirstRunFormatting();
    void underlineCoversExactlyTheInsertedText_data();
    void underlineCoversExactlyTheInsertedText();
    void appendedRowsCloneTheLastRow();
    void cellWriteReplacesWholeCell();
    void missingCellIsAnError_data();
    void missingCellIsAnError();
    void placeholderOutsideTableHasNoTable();

    void savedPackageKeepsOtherPartsUnchanged();
    void saveFailureLeavesNoFile();
    void saveReplacesExistingFile();
    void unreadablePackage_data();
    void unreadablePackage();
    void viewerSeesSavedDocumentsWhenVisible();

    void shippedTemplateHasPlaceholdersAndTable();

private:
    // Saves the active document in the test's folder and parses its main part.
    void SaveAndLoad(WordApplication& word, pugi::xml_document& xml)
    {
        const QString saved = m_dir->filePath(QStringLiteral("saved.docx"));
        word.ActiveDocument().SaveAs(saved);
        LoadDocument(saved, xml);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWordEngine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestWordEngine::replaceFirst_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");

    QTest::newRow("split across runs, proofing marks and a bookmark")
        << SplitSum << Sum << QStringLiteral("1500.00") << true
        << QStringLiteral("Итого: 1500.00 руб.\r");
    QTest::newRow("pieces inside a link and a tracked insertion")
        << QStringLiteral("<w:p><w:hyperlink r:id=\"rId9\"><w:r><w:t>&lt;&lt;DIR</w:t></w:r>"
                          "</w:hyperlink><w:ins w:id=\"1\" w:author=\"x\"><w:r><w:t>ECTOR&gt;&gt;"
                          "</w:t></w:r></w:ins></w:p>")
        << QStringLiteral("<<DIRECTOR>>") << QStringLiteral("И.О. Фамилия") << true
        << QStringLiteral("И.О. Фамилия\r");
    QTest::newRow("deleted revision text is not read")
        << QStringLiteral("<w:p><w:r><w:t>&lt;&lt;SU</w:t></w:r><w:del w:id=\"2\" w:author=\"x\">"
                          "<w:r><w:delText>X</w:delText></w:r></w:del><w:r><w:t>M&gt;&gt;</w:t>"
                          "</w:r></w:p>")
        << Sum << QStringLiteral("7.00") << true << QStringLiteral("7.00\r");
    QTest::newRow("occurs twice: only the first is replaced")
        << Para(QStringLiteral("&lt;&lt;SUM&gt;&gt; и &lt;&lt;SUM&gt;&gt;")) +
               Para(QStringLiteral("&lt;&lt;SUM&gt;&gt;"))
        << Sum << QStringLiteral("0.00") << true
        << QStringLiteral("0.00 и <<SUM>>\r<<SUM>>\r");
    QTest::newRow("never across paragraphs")
        << Para(QStringLiteral("&lt;&lt;SU")) + Para(QStringLiteral("M&gt;&gt;")) << Sum
        << QStringLiteral("1.00") << false << QStringLiteral("<<SU\rM>>\r");
    QTest::newRow("missing placeholder changes nothing")
        << Para(QStringLiteral("Итого:")) << Sum << QStringLiteral("1.00") << false
        << QStringLiteral("Итого:\r");
    QTest::newRow("markup characters and outer spaces kept")
        << Para(QStringLiteral("[&lt;&lt;NAMECOMPANY&gt;&gt;]"))
        << QStringLiteral("<<NAMECOMPANY>>") << QStringLiteral("  ООО \"Рога & <Копыта>\"  ")
        << true << QStringLiteral("[  ООО \"Рога & <Копыта>\"  ]\r");
    QTest::newRow("control characters dropped, tab and break kept as marks")
        << Para(QStringLiteral("&lt;&lt;SUM&gt;&gt;")) << Sum
        << QStringLiteral("a\x01" "b\tc\nd") << true << QStringLiteral("ab\tc\x0B" "d\r");
}

void TestWordEngine::replaceFirst()
{
    QFETCH(QString, body);
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(bool, found);
    QFETCH(QString, text);

    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), body));
    QCOMPARE(ReplaceFirst(word, find, replacement), found);
    QCOMPARE(word.ActiveDocument().Text(), text);

    // What a reader gets back from the saved package.
    const QString saved = m_dir->filePath(QStringLiteral("saved.docx"));
    word.ActiveDocument().SaveAs(saved);
    WordApplication reader;
    QCOMPARE(reader.Documents().Open(saved).Text(), text);
}

void TestWordEngine::replacementTakesFirstRunFormatting()
{
    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), SplitSum));
    QVERIFY(ReplaceFirst(word, Sum, QStringLiteral("1500.00")));
    pugi::xml_document xml;
    SaveAndLoad(word, xml);
    pugi::xml_node inserted;
    QStringList texts;
    for (const pugi::xpath_node& hit : xml.select_nodes("//w:r")) {
        texts.append(RunText(hit.node()));
        if (RunText(hit.node()) == QLatin1String("1500.00"))
            inserted = hit.node();
    }
    QVERIFY2(inserted, qPrintable(texts.join(QLatin1Char('|'))));
    const QString firstRunProperties = QStringLiteral(
        "<w:rPr><w:b/><w:color w:val=\"C00000\"/><w:sz w:val=\"28\"/><w:lang w:val=\"ru-RU\"/>"
        "</w:rPr>");
    QCOMPARE(Serialized(inserted.child("w:rPr")), firstRunProperties);
    // The text around keeps its own runs; the bookmark stays in the paragraph.
    QCOMPARE(texts.join(QLatin1Char('|')), QStringLiteral("Итого: |1500.00| руб."));
    QVERIFY(xml.select_node("//w:bookmarkStart[@w:name='total']"));
}

void TestWordEngine::underlineCoversExactlyTheInsertedText_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("placeholder inside one run")
        << QStringLiteral("<w:p><w:r><w:rPr><w:b/><w:sz w:val=\"24\"/><w:lang w:val=\"ru-RU\"/>"
                          "</w:rPr><w:t xml:space=\"preserve\">Итого: &lt;&lt;SUM&gt;&gt; руб."
                          "</w:t></w:r></w:p>")
        << QStringLiteral("Итого: 3750.50 руб.\r");
    QTest::newRow("placeholder split across runs")
        << SplitSum << QStringLiteral("Итого: 3750.50 руб.\r");
}

void TestWordEngine::underlineCoversExactlyTheInsertedText()
{
    QFETCH(QString, body);
    QFETCH(QString, text);

    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), body));
    QVERIFY(ReplaceFirst(word, Sum, QStringLiteral("3750.50")));
    QCOMPARE(word.Selection().Text(), QStringLiteral("3750.50"));
    word.Selection().Font().SetUnderline(true);
    QCOMPARE(word.ActiveDocument().Text(), text);

    pugi::xml_document xml;
    SaveAndLoad(word, xml);
    QCOMPARE(UnderlinedTexts(xml), QStringList{QStringLiteral("3750.50")});
    // Word reads run properties only in the order of the schema.
    QStringList order;
    for (pugi::xml_node p : xml.select_node("//w:r[w:rPr/w:u]").node().child("w:rPr").children())
        if (p.type() == pugi::node_element)
            order.append(QString::fromUtf8(p.name()));
    QVERIFY2(order.indexOf(QStringLiteral("w:u")) > order.indexOf(QStringLiteral("w:sz")),
             qPrintable(order.join(QLatin1Char(' '))));
    QVERIFY2(order.indexOf(QStringLiteral("w:u")) < order.indexOf(QStringLiteral("w:lang")),
             qPrintable(order.join(QLatin1Char(' '))));
}

void TestWordEngine::appendedRowsCloneTheLastRow()
{
    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), Para(QStringLiteral("Шапка")) + Table));
    WordSelection selection = word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    selection.Find().SetForward(true);
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    QVERIFY(selection.Find().Execute());
    QCOMPARE(selection.Information(WordSelection::WithInTable).toBool(), true);
    WordTable table = selection.Tables().Item(1);
    table.Rows().Add();
    table.Rows().Add();
    QCOMPARE(table.Rows().Count(), 4);
    // The placeholder stays where it was until its cell is written.
    QCOMPARE(table.Columns().Item(1).Cells().Item(2).Range().Text(), QStringLiteral("<<TABLE>>"));

    pugi::xml_document xml;
    SaveAndLoad(word, xml);
    const pugi::xpath_node_set rows = xml.select_nodes("//w:tr");
    QCOMPARE(rows.size(), size_t(4));
    const pugi::xml_node model = rows[1].node();
    for (size_t r = 2; r < 4; ++r) {
        const pugi::xml_node row = rows[r].node();
        QCOMPARE(Serialized(row.child("w:trPr")), Serialized(model.child("w:trPr")));
        QVERIFY(!row.attribute("w14:paraId"));
        pugi::xml_node cell = row.child("w:tc");
        pugi::xml_node modelCell = model.child("w:tc");
        for (; cell && modelCell; cell = cell.next_sibling("w:tc"),
                                  modelCell = modelCell.next_sibling("w:tc")) {
            QCOMPARE(Serialized(cell.child("w:tcPr")), Serialized(modelCell.child("w:tcPr")));
            QCOMPARE(Serialized(cell.child("w:p").child("w:pPr")),
                     Serialized(modelCell.child("w:p").child("w:pPr")));
            QCOMPARE(cell.select_nodes("w:p").size(), size_t(1));
            QCOMPARE(cell.select_nodes(".//w:t").size(), size_t(0));
        }
        QVERIFY(!cell && !modelCell);
        // Bookmarks are unique in a document: a copy would damage it.
        QVERIFY(!row.select_node(".//w:bookmarkStart"));
    }
    QCOMPARE(xml.select_nodes("//w:bookmarkStart").size(), size_t(1));
}

void TestWordEngine::cellWriteReplacesWholeCell()
{
    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), Table));
    ReplaceFirst(word, QStringLiteral("<<none>>"), QString());
    WordSelection selection = word.Selection();
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    QVERIFY(selection.Find().Execute());
    WordTable table = selection.Tables().Item(1);
    table.Rows().Add();
    const QStringList values{QStringLiteral("1"), QStringLiteral("ИВАНОВ & <СЫН>"),
                             QStringLiteral("2"), QString()};
    table.Columns().Item(1).Cells().Item(2).Range().SetText(values[0]);
    table.Columns().Item(2).Cells().Item(2).Range().SetText(values[1]);
    table.Columns().Item(1).Cells().Item(3).Range().SetText(values[2]);
    table.Columns().Item(2).Cells().Item(3).Range().SetText(values[3]);
    QCOMPARE(table.Columns().Item(1).Cells().Item(2).Range().Text(), values[0]);
    QCOMPARE(table.Columns().Item(2).Cells().Item(2).Range().Text(), values[1]);
    QCOMPARE(table.Columns().Item(1).Cells().Item(3).Range().Text(), values[2]);
    QCOMPARE(table.Columns().Item(2).Cells().Item(3).Range().Text(), values[3]);
    QCOMPARE(table.Columns().Item(2).Cells().Item(1).Range().Text(), QStringLiteral("ФИО"));

    pugi::xml_document xml;
    SaveAndLoad(word, xml);
    const pugi::xpath_node_set rows = xml.select_nodes("//w:tr");
    QCOMPARE(rows.size(), size_t(3));
    for (size_t r = 1; r < 3; ++r) {
        const pugi::xml_node first = rows[r].node().child("w:tc");
        // Written text keeps the formatting of the cell's first run.
        QCOMPARE(Serialized(first.select_node(".//w:r[w:t]/w:rPr").node()),
                 QStringLiteral("<w:rPr><w:b/><w:sz w:val=\"20\"/></w:rPr>"));
        const pugi::xml_node second = first.next_sibling("w:tc");
        QCOMPARE(second.select_nodes("w:p").size(), size_t(1));
    }
    QCOMPARE(xml.select_nodes("//w:bookmarkStart").size(), size_t(0));
}

void TestWordEngine::missingCellIsAnError_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("column beyond the table") << 2 << 3;
    QTest::newRow("row beyond the table") << 3 << 1;
    QTest::newRow("row zero") << 0 << 1;
}

void TestWordEngine::missingCellIsAnError()
{
    QFETCH(int, row);
    QFETCH(int, column);
    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), Table));
    WordSelection selection = word.Selection();
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    QVERIFY(selection.Find().Execute());
    WordTable table = selection.Tables().Item(1);
    QVERIFY_THROWS_EXCEPTION(
        EWordError, table.Columns().Item(column).Cells().Item(row).Range().SetText("x"));
}

void TestWordEngine::placeholderOutsideTableHasNoTable()
{
    WordApplication word;
    word.Documents().Open(
        WritePackage(m_dir->path(), Para(QStringLiteral("&lt;&lt;TABLE&gt;&gt;")) + Table));
    WordSelection selection = word.Selection();
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    QVERIFY(selection.Find().Execute());
    QCOMPARE(selection.Information(WordSelection::WithInTable).toBool(), false);
    QCOMPARE(selection.Tables().Count(), 0);
    QVERIFY_THROWS_EXCEPTION(EWordError, selection.Tables().Item(1));
}

void TestWordEngine::savedPackageKeepsOtherPartsUnchanged()
{
    QByteArray image(4096, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7919) % 251);
    const QByteArray styles = "<?xml version=\"1.0\"?>\n<w:styles  xmlns:w=\"urn:x\" >\n "
                              "<!-- kept --></w:styles>";
    const QString source = m_dir->filePath(QStringLiteral("source.docx"));
    MakePackage(Para(QStringLiteral("&lt;&lt;SUM&gt;&gt;")),
                {{QStringLiteral("word/styles.xml"), styles},
                 {QStringLiteral("word/media/image1.png"), image}})
        .SaveAs(source);

    WordApplication word;
    word.Documents().Open(source);
    QVERIFY(ReplaceFirst(word, Sum, QStringLiteral("1.00")));
    const QString saved = m_dir->filePath(QStringLiteral("saved.docx"));
    word.ActiveDocument().SaveAs(saved);

    const DocxPackage before = DocxPackage::Open(source);
    const DocxPackage after = DocxPackage::Open(saved);
    QCOMPARE(after.PartNames(), before.PartNames());
    for (const QString& name : before.PartNames())
        if (name != QLatin1String("word/document.xml"))
            QVERIFY2(after.Part(name) == before.Part(name), qPrintable(name));
    QVERIFY(after.Part(QStringLiteral("word/document.xml")) !=
            before.Part(QStringLiteral("word/document.xml")));
}

void TestWordEngine::saveFailureLeavesNoFile()
{
    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), Para(QStringLiteral("x"))));
    const QString target = m_dir->filePath(QStringLiteral("missing/Ведомость.doc"));
    try {
        word.ActiveDocument().SaveAs(target);
        QFAIL("saving into a missing folder succeeded");
    } catch (const EWordError& error) {
        QVERIFY2(error.Message().contains(QDir::toNativeSeparators(target)), qPrintable(error.Message()));
        QVERIFY2(error.Message().endsWith(QStringLiteral("нет такого файла или папки")),
                 qPrintable(error.Message()));
    }
    QVERIFY(!QFile::exists(target));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"fixture.docx"});
}

void TestWordEngine::saveReplacesExistingFile()
{
    const QString target = m_dir->filePath(QStringLiteral("Ведомость.doc"));
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();

    WordApplication word;
    word.Documents().Open(WritePackage(m_dir->path(), Para(QStringLiteral("новый"))));
    word.ActiveDocument().SaveAs(target);
    WordApplication reader;
    QCOMPARE(reader.Documents().Open(target).Text(), QStringLiteral("новый\r"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             (QStringList{"fixture.docx", "Ведомость.doc"}));
}

void TestWordEngine::unreadablePackage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QByteArray() << QStringLiteral("Файл не найден");
    QTest::newRow("not an archive") << QByteArray("{\\rtf1 Ведомость}")
                                    << QStringLiteral("не является документом Word");
    QTest::newRow("old binary Word document")
        << QByteArray::fromHex("d0cf11e0a1b11ae1") + QByteArray(504, '\0')
        << QStringLiteral(
               "не является документом Word 2007–365 (.docx): он сохранен в старом "
               "формате Word 97–2003. Сохраните его в Word как «Документ Word (*.docx)»");
    DocxPackage other;
    other.SetPart(QStringLiteral("content.xml"), "<office/>");
    QTest::newRow("archive without a document") << other.ToBytes()
                                                << QStringLiteral("не является документом Word");
    DocxPackage broken = MakePackage(QString());
    broken.SetPart(QStringLiteral("word/document.xml"), "<w:document><w:body>");
    QTest::newRow("damaged document part") << broken.ToBytes()
                                           << QStringLiteral("Документ поврежден");
}

void TestWordEngine::unreadablePackage()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path = m_dir->filePath(QStringLiteral("export_template.doc"));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    WordApplication word;
    try {
        word.Documents().Open(path);
        QFAIL("an unreadable template opened");
    } catch (const EWordError& error) {
        QVERIFY2(error.Message().contains(message), qPrintable(error.Message()));
    }
    QVERIFY_THROWS_EXCEPTION(EWordError, word.Selection());
}

void TestWordEngine::viewerSeesSavedDocumentsWhenVisible()
{
    const QString fixture = WritePackage(m_dir->path(), Para(QStringLiteral("x")));
    const QString first = m_dir->filePath(QStringLiteral("a.doc"));
    const QString second = m_dir->filePath(QStringLiteral("b.doc"));
    QStringList shown;
    WordApplication word([&shown](const QString& path) { shown.append(path); });
    word.Documents().Open(fixture);
    word.ActiveDocument().SaveAs(first);
    QCOMPARE(shown, QStringList());
    word.SetVisible(true);
    QCOMPARE(shown, QStringList{first});
    word.ActiveDocument().SaveAs(first);
    QCOMPARE(shown, QStringList{first});
    word.ActiveDocument().SaveAs(second);
    QCOMPARE(shown, (QStringList{first, second}));
}

void TestWordEngine::shippedTemplateHasPlaceholdersAndTable()
{
    WordApplication word;
    const QString text = word.Documents().Open(QStringLiteral(EXPORT_TEMPLATE)).Text();
    for (const char* placeholder :
         {"<<DIRECTOR>>", "<<BOOKKEEPER>>", "<<NAMECOMPANY>>", "<<TABLE>>", "<<SUM>>",
          "<<SPELLSUM>>", "<<NUMBER>>", "<<DATE>>", "<<COUNT>>", "<<KOPECKS>>"})
        QCOMPARE(text.count(QLatin1String(placeholder)), 1);
    QVERIFY(text.startsWith(QStringLiteral("Ведомость № <<NUMBER>> от <<DATE>>\r")));
    QVERIFY(text.contains(QStringLiteral("Итого: <<SUM>>")));

    WordSelection selection = word.Selection();
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    QVERIFY(selection.Find().Execute());
    WordTable table = selection.Tables().Item(1);
    QCOMPARE(table.Rows().Count(), 2);
    const QStringList heading{"№", "ФИО", "Счет", "Сумма"};
    for (int column = 1; column <= 4; ++column)
        QCOMPARE(table.Columns().Item(column).Cells().Item(1).Range().Text(),
                 heading[column - 1]);
    QVERIFY_THROWS_EXCEPTION(EWordError,
                             table.Columns().Item(5).Cells().Item(1).Range().SetText("x"));

    pugi::xml_document xml;
    LoadDocument(QStringLiteral(EXPORT_TEMPLATE), xml);
    const pugi::xml_node page = xml.select_node("//w:sectPr/w:pgSz").node();
    QCOMPARE(QByteArray(page.attribute("w:w").value()), QByteArray("11906"));
    QCOMPARE(QByteArray(page.attribute("w:h").value()), QByteArray("16838"));
}

QTEST_GUILESS_MAIN(TestWordEngine)
#include "tst_wordengine.moc"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <vector>

#include "storage/engine/sqlite/Collation.h"
#include "storage/views/TableRows.h"

// The chunked order of a view's rows against a plain sorted list.
class TestTableRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesSortedList_data();
    void matchesSortedList();
    void cyrillicFoldsAsUnicode();
};

namespace {

struct Model
{
    QString name;
    qint64 rowid;
};

bool ModelLess(const Model& a, const Model& b)
{
    const int c = Collation::CompareNoCase(a.name, b.name);
    return c != 0 ? c < 0 : a.rowid < b.rowid;
}

} // namespace

void TestTableRows::matchesSortedList_data()
{
    QTest::addColumn<int>("loaded");
    QTest::addColumn<int>("operations");
    QTest::addColumn<int>("distinctNames"); // few names: many ties broken by rowid
    QTest::newRow("empty start, inserts split chunks") << 0 << 6000 << 100000;
    QTest::newRow("loaded start, mixed work") << 5000 << 8000 << 100000;
    QTest::newRow("ties broken by rowid") << 3000 << 6000 << 7;
}

void TestTableRows::matchesSortedList()
{
    QFETCH(int, loaded);
    QFETCH(int, operations);
    QFETCH(int, distinctNames);
    QRandomGenerator random(7);
    auto randomName = [&] { return QStringLiteral("Имя %1").arg(random.bounded(distinctNames)); };

    std::vector<Model> model;
    for (int i = 0; i < loaded; ++i)
        model.push_back({randomName(), i + 1});
    std::sort(model.begin(), model.end(), ModelLess);
    std::vector<QString> cells;
    std::vector<qint64> rowids;
    for (const Model& row : model) {
        cells.push_back(row.name);
        cells.push_back(QString::number(row.rowid));
        rowids.push_back(row.rowid);
    }
    TableRows rows;
    rows.Reset(2, {{0, true, false}});
    rows.Load(std::move(cells), std::move(rowids));

    qint64 nextRowid = loaded + 1;
    for (int op = 0; op < operations; ++op) {
        const quint32 kind = model.empty() ? 0 : random.bounded(4);
        if (kind <= 1) { // insert
            const Model row{randomName(), nextRowid++};
            const int placed = rows.Insert({row.name, QString::number(row.rowid)}, row.rowid);
            const auto at = std::upper_bound(model.begin(), model.end(), row, ModelLess);
            QCOMPARE(placed, int(at - model.begin()));
            model.insert(at, row);
        } else if (kind == 2) { // erase, often at the top
            const int position = random.bounded(2) ? 0 : int(random.bounded(quint32(model.size())));
            rows.Erase(position);
            model.erase(model.begin() + position);
        } else { // change a name and place the row again
            const int position = int(random.bounded(quint32(model.size())));
            Model row = model[std::size_t(position)];
            row.name = randomName();
            rows.Row(position)[0] = row.name;
            const int placed = rows.Place(position);
            model.erase(model.begin() + position);
            const auto at = std::upper_bound(model.begin(), model.end(), row, ModelLess);
            QCOMPARE(placed, int(at - model.begin()));
            model.insert(at, row);
        }
        if (op % 997 != 0 && op + 1 != operations)
            continue;
        QCOMPARE(rows.Count(), int(model.size()));
        for (int i = 0; i < rows.Count(); ++i) {
            QCOMPARE(rows.Rowid(i), model[std::size_t(i)].rowid);
            QCOMPARE(rows.Row(i)[0], model[std::size_t(i)].name);
            QCOMPARE(rows.Row(i)[1], QString::number(model[std::size_t(i)].rowid));
        }
        if (!model.empty()) {
            const Model& probe = model[model.size() / 2];
            QCOMPARE(rows.Find(probe.rowid), int(model.size() / 2));
        }
    }
    QCOMPARE(rows.Find(-5), -1);
}

void TestTableRows::cyrillicFoldsAsUnicode()
{
    // The fast path for the Cyrillic block agrees with Unicode case folding, both ways.
    for (char16_t c = 0x0400; c < 0x0460; ++c) {
        const QString letter(QChar{c});
        const QString folded(QChar(QChar::toCaseFolded(c)));
        QCOMPARE(Collation::CompareNoCase(letter, folded), 0);
        const QByteArray a = letter.toUtf8();
        const QByteArray b = folded.toUtf8();
        QCOMPARE(Collation::CompareNoCaseUtf8(a.constData(), int(a.size()), b.constData(),
                                              int(b.size())),
                 0);
    }
    QVERIFY(Collation::CompareNoCase(u"Ё", u"Е") != 0);
    QVERIFY(Collation::CompareNoCase(u"ё", u"Ж") < 0);
}

QTEST_GUILESS_MAIN(TestTableRows)
#include "tst_tablerows.moc"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <memory>

#include "ui/LookAndFeel.h"
#include "ui/Messages.h"
#include "ui/WindowPlacement.h"

// The pieces every window shares: the wheel over combo boxes, Russian buttons, placement.
class tst_LookAndFeel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void wheelChangesOnlyFocusedComboBox_data();
    void wheelChangesOnlyFocusedComboBox();
    void messageBoxButtonsInRussian_data();
    void messageBoxButtonsInRussian();
    void qtStandardButtonsInRussian();
    void longQuestionKeepsItsButtonsOnScreen();
    void placeInside_data();
    void placeInside();
    void windowPlacedInsideAvailableGeometry_data();
    void windowPlacedInsideAvailableGeometry();
};

namespace {

// Scrolls one notch down over the middle of a widget, as the mouse would.
void WheelNotch(QWidget* widget)
{
    const QPointF local = QRectF(widget->rect()).center();
    QWheelEvent wheel(local, widget->mapToGlobal(local), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

// The texts of a box's buttons, in the order the box lays them out.
QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->findChild<QDialogButtonBox*>()->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

} // namespace

void tst_LookAndFeel::initTestCase()
{
    LookAndFeel::Install(*qApp);
}

void tst_LookAndFeel::wheelChangesOnlyFocusedComboBox_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("index");
    QTest::newRow("list, no focus") << false << false << 0;
    QTest::newRow("editable, no focus") << true << false << 0;
    QTest::newRow("list, focused") << false << true << 1;
    QTest::newRow("editable, focused") << true << true << 1;
}

void tst_LookAndFeel::wheelChangesOnlyFocusedComboBox()
{
    QFETCH(bool, editable);
    QFETCH(bool, focused);
    QFETCH(int, index);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    auto* combo = new QComboBox(&window);
    combo->setEditable(editable);
    combo->addItems({QStringLiteral("Все"), QStringLiteral("Альфа"), QStringLiteral("Бета")});
    layout->addWidget(other);
    layout->addWidget(combo);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    (focused ? static_cast<QWidget*>(combo) : other)->setFocus();
    QTRY_COMPARE(combo->hasFocus(), focused);

    // Over an editable box the notch reaches the box from its line edit, which ignores it.
    WheelNotch(combo);
    QCOMPARE(combo->currentIndex(), index);
}

void tst_LookAndFeel::messageBoxButtonsInRussian_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("question") << int(Messages::Kind::Question) << QStringList{"Да", "Нет"};
    QTest::newRow("ok or cancel") << int(Messages::Kind::OkCancel) << QStringList{"OK", "Отмена"};
    QTest::newRow("message") << int(Messages::Kind::Message) << QStringList{"OK"};
}

void tst_LookAndFeel::messageBoxButtonsInRussian()
{
    QFETCH(int, kind);
    QFETCH(QStringList, buttons);
    // The real boxes, not the recorder: read the buttons of the box on screen, then close it.
    QStringList shown;
    QTimer::singleShot(0, this, [&shown] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        shown = ButtonTexts(box);
        box->done(QMessageBox::No);
    });
    const QString text = QStringLiteral("Текст");
    switch (Messages::Kind(kind)) {
    case Messages::Kind::Question:
        QVERIFY(!Messages::AskYesNo(text, QStringLiteral("Удаление")));
        break;
    case Messages::Kind::OkCancel:
        QVERIFY(!Messages::AskOkCancel(text, QStringLiteral("Удаление")));
        break;
    case Messages::Kind::Message:
        Messages::ShowMessage(text);
        break;
    case Messages::Kind::Error:
        Messages::ShowError(text);
        break;
    }
    QCOMPARE(shown, buttons);
}

void tst_LookAndFeel::longQuestionKeepsItsButtonsOnScreen()
{
    // Twenty lines that the usual width wraps in three, as a list of findings with long names.
    QStringList lines;
    for (int i = 1; i <= 20; ++i)
        lines << QStringLiteral("«КОНСТАНТИНОПОЛЬСКИЙ-ВЕРХНЕВОЛЖСКИЙ АЛЕК…» (организация «Общество "
                                "с ограниченной ответственность…»): счёт «4081781000000000%1» — не "
                                "20 цифр")
                     .arg(i, 2, 10, QLatin1Char('0'));
    QRect shown;
    QRect available;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        shown = box->frameGeometry();
        available = box->screen()->availableGeometry();
        box->done(QMessageBox::No);
    });
    QVERIFY(!Messages::AskYesNo(lines.join(QLatin1Char('\n')), QStringLiteral("Проверка")));
    QVERIFY2(shown.height() <= available.height(),
             qPrintable(QStringLiteral("%1 > %2").arg(shown.height()).arg(available.height())));
}

void tst_LookAndFeel::qtStandardButtonsInRussian()
{
    // Qt's own texts come from its Russian translation: boxes the program did not word.
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open |
                         QDialogButtonBox::Close);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("Открыть"));
    QCOMPARE(box.button(QDialogButtonBox::Close)->text(), QStringLiteral("Закрыть"));
}

void tst_LookAndFeel::placeInside_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("place");
    const QRect laptop(0, 0, 1366, 740); // 1366 × 768 less a panel
    QTest::newRow("fits: stated position kept")
        << QRect(530, 300, 700, 385) << laptop << QPoint(530, 300);
    QTest::newRow("below the edge: moved up")
        << QRect(530, 419, 700, 385) << laptop << QPoint(530, 355);
    QTest::newRow("past the right edge: moved left")
        << QRect(900, 10, 700, 385) << laptop << QPoint(666, 10);
    QTest::newRow("above and left of the area")
        << QRect(-50, -20, 300, 200) << QRect(0, 28, 1366, 740) << QPoint(0, 28);
    QTest::newRow("larger than the area: top-left shown")
        << QRect(100, 100, 1400, 900) << laptop << QPoint(0, 0);
    QTest::newRow("second screen to the right")
        << QRect(1900, 700, 400, 300) << QRect(1366, 0, 1920, 1050) << QPoint(1900, 700);
}

void tst_LookAndFeel::placeInside()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QFETCH(QPoint, place);
    QCOMPARE(PlaceInside(frame, available), place);
}

void tst_LookAndFeel::windowPlacedInsideAvailableGeometry_data()
{
    QTest::addColumn<bool>("centre");
    QTest::newRow("kept where put") << false;
    QTest::newRow("centred") << true;
}

void tst_LookAndFeel::windowPlacedInsideAvailableGeometry()
{
    QFETCH(bool, centre);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget window;
    window.resize(available.width() / 2, available.height() / 2);
    window.move(available.right() - 10, available.bottom() - 10);
    if (centre)
        CenterOnScreen(&window);
    else
        FitOnScreen(&window);
    QVERIFY2(available.contains(window.frameGeometry()),
             qPrintable(QStringLiteral("%1,%2").arg(window.x()).arg(window.y())));
    if (centre)
        QCOMPARE(window.frameGeometry().center(), available.center());
}

QTEST_MAIN(tst_LookAndFeel)
#include "tst_lookandfeel.moc"

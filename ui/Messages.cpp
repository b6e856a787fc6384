#include "ui/Messages.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include <utility>

namespace Messages {
namespace {

// Qt's Russian translation names these buttons; where it is not installed the program's
// boxes still speak Russian.
void SetButtonTexts(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char16_t*> texts[] = {
        {QMessageBox::Yes, u"Да"},
        {QMessageBox::No, u"Нет"},
        {QMessageBox::Ok, u"OK"},
        {QMessageBox::Cancel, u"Отмена"},
    };
    for (const auto& [which, text] : texts) {
        if (QAbstractButton* button = box.button(which))
            button->setText(QString::fromUtf16(text));
    }
}

// A long text (a list of findings) that the box's usual width would wrap taller than the
// screen is laid out as wide as the box may grow, so the buttons stay on the screen.
void FitTextOnScreen(QMessageBox& box)
{
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QScreen* screen = box.screen();
    if (!label || !screen)
        return;
    box.ensurePolished();
    const QRect available = screen->availableGeometry();
    const QFontMetrics metrics(label->font());
    const auto wrappedHeight = [&](int width) {
        return metrics
            .boundingRect(QRect(0, 0, width, available.height() * 4), Qt::TextWordWrap, box.text())
            .height();
    };
    // QMessageBox wraps at about half the screen, at most 500 pixels, and grows to its limit of
    // the screen less 480 pixels (1000 at most; the whole width on screens up to 1024).
    constexpr int BesideTheText = 120; // the icon and the margins
    constexpr int AboveAndBelow = 160; // the title bar, the margins and the buttons
    const int usual = std::min(available.width() / 2, 500) - BesideTheText;
    const int widest =
        (available.width() <= 1024 ? available.width() : std::min(available.width() - 480, 1000)) -
        BesideTheText;
    if (widest > usual && wrappedHeight(usual) > available.height() - AboveAndBelow)
        label->setMinimumWidth(widest);
}

int Run(QMessageBox& box)
{
    SetButtonTexts(box);
    FitTextOnScreen(box);
    return box.exec();
}

class BoxHandler final : public Handler
{
public:
    bool Show(Kind kind, const QString& text, const QString& caption) override
    {
        QWidget* parent = QApplication::activeWindow();
        switch (kind) {
        case Kind::Message: {
            QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
            Run(box);
            return true;
        }
        case Kind::Question: {
            QMessageBox box(QMessageBox::Warning, caption, text,
                            QMessageBox::Yes | QMessageBox::No, parent);
            box.setDefaultButton(QMessageBox::Yes);
            return Run(box) == QMessageBox::Yes;
        }
        case Kind::OkCancel: {
            QMessageBox box(QMessageBox::Information, caption, text,
                            QMessageBox::Ok | QMessageBox::Cancel, parent);
            box.setDefaultButton(QMessageBox::Ok);
            return Run(box) == QMessageBox::Ok;
        }
        case Kind::Error: {
            QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
            Run(box);
            return true;
        }
        }
        return false;
    }

    bool ShowDetailed(Kind kind, const QString& text, const QString& caption,
                      const QString& details) override
    {
        if (kind != Kind::Message)
            return Show(kind, text, caption);
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
        box.setDetailedText(details);
        box.exec();
        return true;
    }
};

Handler*& Current()
{
    static Handler* handler = nullptr;
    return handler;
}

Handler& Active()
{
    static BoxHandler real;
    return Current() ? *Current() : real;
}

} // namespace

void SetHandler(Handler* handler)
{
    Current() = handler;
}

void ShowDetailedMessage(const QString& text, const QString& caption, const QString& details)
{
    Active().ShowDetailed(Kind::Message, text, caption, details);
}

void ShowMessage(const QString& text)
{
    Active().Show(Kind::Message, text, ProgramTitle);
}

void ShowMessage(const QString& text, const QString& caption)
{
    Active().Show(Kind::Message, text, caption);
}

bool AskYesNo(const QString& text, const QString& caption)
{
    return Active().Show(Kind::Question, text, caption);
}

bool AskOkCancel(const QString& text, const QString& caption)
{
    return Active().Show(Kind::OkCancel, text, caption);
}

void ShowError(const QString& text)
{
    Active().Show(Kind::Error, text, ProgramTitle);
}

} // namespace Messages

#include "ui/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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

int Run(QMessageBox& box)
{
    SetButtonTexts(box);
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

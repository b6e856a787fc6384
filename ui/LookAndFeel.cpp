#include "ui/LookAndFeel.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace LookAndFeel {
namespace {

constexpr int ProgramPointSize = 8;
constexpr const char* InstalledProperty = "pellomarLookAndFeel";

// A combo box acts on the wheel only once the user has given it the focus: a notch over
// an unfocused box would change data (an organisation, every export flag) unasked.
class WheelGuard final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Polish:
            if (auto* combo = qobject_cast<QComboBox*>(watched))
                combo->setFocusPolicy(Qt::StrongFocus);
            break;
        case QEvent::Wheel:
            if (auto* combo = qobject_cast<QComboBox*>(watched); combo && !combo->hasFocus()) {
                // Not the box's: the window under it may scroll instead.
                event->ignore();
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

QFont ProgramFont()
{
    QFont font = QApplication::font();
    font.setPointSize(ProgramPointSize);
    return font;
}

void Install(QApplication& application)
{
    if (application.property(InstalledProperty).toBool())
        return;
    application.setProperty(InstalledProperty, true);

    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator; // the program's own boxes carry their texts anyway

    QApplication::setFont(ProgramFont());
    application.installEventFilter(new WheelGuard(&application));
}

} // namespace LookAndFeel

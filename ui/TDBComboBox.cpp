#include "ui/TDBComboBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/KeyRules.h"
#include "ui/TDataSource.h"

TDBComboBox::TDBComboBox(QWidget* parent) : TComboBox(parent)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TDBComboBox::Choose);
}

void TDBComboBox::SetDataSource(TDataSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &TDataSource::DataChanged, this, &TDBComboBox::UpdateDisplay);
        connect(m_source, &TDataSource::DataSetReplaced, this, &TDBComboBox::UpdateDisplay);
        connect(m_source, &TDataSource::StateChanged, this, &TDBComboBox::UpdateDisplay);
    }
    UpdateDisplay();
}

void TDBComboBox::SetDataField(const QString& field)
{
    m_field = field;
    UpdateDisplay();
}

void TDBComboBox::showEvent(QShowEvent* event)
{
    TComboBox::showEvent(event);
    UpdateDisplay();
}

void TDBComboBox::keyPressEvent(QKeyEvent* event)
{
    if (!isEditable() && event->key() != Qt::Key_Space && KeyRules::IsTypedText(event)) {
        ChooseByText(event->text());
        event->accept();
        return;
    }
    TComboBox::keyPressEvent(event);
}

void TDBComboBox::inputMethodEvent(QInputMethodEvent* event)
{
    if (!isEditable() && !event->commitString().isEmpty()) {
        ChooseByText(event->commitString());
        event->accept();
        return;
    }
    TComboBox::inputMethodEvent(event);
}

void TDBComboBox::ChooseByText(const QString& text)
{
    // The stock search joins keys typed within a short interval into one text and, from an
    // entry already shown, looks for the next one: fast typing would choose another name
    // or none.
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            setCurrentIndex(i);
            Q_EMIT activated(i);
            Q_EMIT textActivated(itemText(i));
            return;
        }
    }
}

void TDBComboBox::UpdateDisplay()
{
    if (!isVisible())
        return;
    TTable* table = m_source ? m_source->DataSet() : nullptr;
    if (!table || !table->Active() || table->FindField(m_field) < 0) {
        setCurrentIndex(-1);
        return;
    }
    setCurrentIndex(findText(table->FieldByName(m_field).AsString(), Qt::MatchExactly));
}

void TDBComboBox::Choose(int index)
{
    const bool stored = Guarded([&] {
        TTable* table = m_source ? m_source->DataSet() : nullptr;
        if (!table || !table->Active() || index < 0)
            throw EAbort();
        TField field = table->FieldByName(m_field);
        if (field.AsString() == itemText(index))
            return; // already the row's: nothing to edit
        if (table->GetState() == TTable::State::Browse)
            table->Edit();
        field.SetAsString(itemText(index));
    });
    if (stored)
        Q_EMIT Change();
}

#include "ui/TDBComboBox.h"

#include "storage/TTable.h"
#include "ui/ErrorBoundary.h"
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
        if (table->GetState() == TTable::State::Browse)
            table->Edit();
        table->FieldByName(m_field).SetAsString(itemText(index));
    });
    if (stored)
        Q_EMIT Change();
}

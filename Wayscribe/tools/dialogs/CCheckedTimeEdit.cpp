#include "Wayscribe/tools/dialogs/CCheckedTimeEdit.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QTimeEdit>

CCheckedTimeEdit::CCheckedTimeEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_check = new QCheckBox(this);
    m_check->setChecked(true);
    m_edit = new QTimeEdit(this);
    m_edit->setDisplayFormat("HH:mm:ss");
    layout->addWidget(m_check);
    layout->addWidget(m_edit, 1);
    setFocusProxy(m_edit);
    connect(m_check, &QCheckBox::toggled, this, [this] { UpdateEditState(); });
}

bool CCheckedTimeEdit::HasTime() const
{
    return m_check->isChecked();
}

void CCheckedTimeEdit::SetHasTime(bool hasTime)
{
    m_check->setChecked(hasTime);
}

QTime CCheckedTimeEdit::Time() const
{
    const QTime time = m_edit->time();
    return QTime(time.hour(), time.minute(), time.second());
}

void CCheckedTimeEdit::SetTime(const QTime& time)
{
    m_edit->setTime(time);
}

int CCheckedTimeEdit::SecondsIntoDay() const
{
    if (!HasTime())
        return 0;
    const QTime time = Time();
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

void CCheckedTimeEdit::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        UpdateEditState();
}

void CCheckedTimeEdit::UpdateEditState()
{
    // The time is greyed while the box is clear, but the box stays usable.
    m_edit->setEnabled(isEnabled() && m_check->isChecked());
}

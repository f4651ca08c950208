#include "Wayscribe/tools/dialogs/CUpDownControl.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "Wayscribe/tools/dialogs/CKeepTime.h"

CUpDownControl::CUpDownControl(QLineEdit* buddy, QWidget* parent) : QWidget(parent), m_buddy(buddy)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto makeArrow = [this, layout](Qt::ArrowType arrow, int step) {
        auto* button = new QToolButton(this);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        connect(button, &QToolButton::clicked, this, [this, step] { StepBy(step); });
        layout->addWidget(button);
        return button;
    };
    m_up = makeArrow(Qt::UpArrow, 1);
    m_down = makeArrow(Qt::DownArrow, -1);
    m_buddy->installEventFilter(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void CUpDownControl::SetRange(int lower, int upper)
{
    m_lower = std::min(lower, upper);
    m_upper = std::max(lower, upper);
}

int CUpDownControl::Position() const
{
    const auto typed = CKeepTime::ParsePart(m_buddy->text().toStdString());
    return static_cast<int>(std::clamp<std::int64_t>(typed, m_lower, m_upper));
}

void CUpDownControl::StepBy(int steps)
{
    if (!isEnabled())
        return;
    const auto next = std::clamp<std::int64_t>(std::int64_t{Position()} + steps, m_lower, m_upper);
    m_buddy->setText(QString::number(next));
}

QSize CUpDownControl::sizeHint() const
{
    const int height = m_buddy->sizeHint().height();
    return {std::max(16, height * 2 / 3), height};
}

bool CUpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

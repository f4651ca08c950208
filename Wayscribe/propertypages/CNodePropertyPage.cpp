#include "Wayscribe/propertypages/CNodePropertyPage.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "Wayscribe/tools/widgets/BandIcons.h"

namespace {

QFrame* Separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Dialog units of the page's font: a quarter of the average character
// width across, an eighth of the character height down.
QSize DialogUnitsToPixels(const QFontMetrics& metrics, int x, int y)
{
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    return QSize(x * averageWidth / 4, y * metrics.height() / 8);
}

}  // namespace

CNodePropertyPage::CNodePropertyPage(int dialogId, int iconId, Field header, const char* headerText,
                                     const std::vector<Field>& fields, QWidget* parent)
    : CPropertyPage(QStringLiteral("General"), parent)
{
    setObjectName(QString::number(dialogId));
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(12);

    auto* icon = new QLabel(this);
    icon->setPixmap(BandIcons::Icon(iconId).pixmap(32, 32));
    icon->setFixedSize(32, 32);
    grid->addWidget(icon, 0, 0, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(MakeControl(header, headerText), 0, 1);
    grid->addWidget(Separator(this), 1, 0, 1, 2);

    int row = 2;
    for (const Field& field : fields) {
        if (field.separatorBefore)
            grid->addWidget(Separator(this), row++, 0, 1, 2);
        if (*field.label) {
            auto* label = new QLabel(QString::fromUtf8(field.label), this);
            grid->addWidget(label, row, 0);
        }
        grid->addWidget(MakeControl(field, "Static"), row++, 1);
    }
    grid->setRowStretch(row, 1);
    setMinimumSize(DialogUnitsToPixels(fontMetrics(), 224, 211));
}

QWidget* CNodePropertyPage::MakeControl(const Field& field, const char* initialText)
{
    QWidget* control = nullptr;
    if (field.control == Control::Edit) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        control = edit;
    } else {
        // Texts are page titles and addresses, never markup.
        auto* label = new QLabel(QString::fromUtf8(initialText), this);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        control = label;
    }
    control->setObjectName(QString::number(field.id));
    return control;
}

bool CNodePropertyPage::OnSetActive()
{
    for (const auto& [id, text] : Texts()) {
        QWidget* control = findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
        const QString value = QString::fromStdString(text);
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(value);
            edit->setCursorPosition(0);  // the start of a long address shows
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            label->setText(value);
        }
    }
    return true;
}

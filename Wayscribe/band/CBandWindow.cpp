#include "Wayscribe/band/CBandWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QResizeEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <optional>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/band/BandMenus.h"
#include "Wayscribe/band/BandSettings.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/historymodel/CDIInitableItem.h"
#include "Wayscribe/tools/dialogs/CExportDialog.h"
#include "Wayscribe/tools/dialogs/COptionsDialog.h"
#include "Wayscribe/tools/dialogs/CSearchDialog.h"
#include "Wayscribe/tools/dialogs/HistoryImport.h"
#include "Wayscribe/tools/help/CAboutDialog.h"
#include "Wayscribe/tools/help/Help.h"
#include "Wayscribe/tools/tabstrip/CTabbedChildWindow.h"
#include "Wayscribe/tools/widgets/BandIcons.h"

namespace {

// A whole drop-down button: its text with the drop-down arrow beside it;
// a click anywhere on it opens the menu, which the window tracks itself.
class CDropDownButton : public QToolButton {
public:
    using QToolButton::QToolButton;

    QSize sizeHint() const override
    {
        QSize size = QToolButton::sizeHint();
        size.rwidth() += style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this);
        return size;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.features |= QStyleOptionToolButton::HasMenu;
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};

}  // namespace

CBandWindow::CBandWindow(CSurfBand& band, QWidget* parent) : QWidget(parent), m_band(band)
{
    setObjectName(QStringLiteral("CBandWindow"));
    hide();  // ShowDW shows it
    if (parent)
        setGeometry(parent->rect());
    BuildToolbar();
    BuildTabs();
    UpdateLayout();
}

CBandWindow::~CBandWindow()
{
    // The children are still there: the frame's current tab can be read.
    if (m_frame)
        BandSettings::WriteViewSettings(m_band.GetItemViewMode(), m_frame->GetTabCtrl()->GetCurSel());
}

void CBandWindow::BuildToolbar()
{
    m_rebar = new QWidget(this);
    m_rebar->setObjectName(QStringLiteral("rebar"));
    // A flat row of buttons that never folds them away; in a pane too narrow
    // for all five with their texts, the buttons with icons show only the
    // icon, so that View and Help stay within reach.
    m_toolbar = new QWidget(m_rebar);
    m_toolbar->setObjectName(QString::number(kToolbarId));
    // The small caption font of a browser's bars keeps all five buttons
    // within the pane's usual width.
    QFont font = m_toolbar->font();
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 0.9);
        m_toolbar->setFont(font);
    }
    auto* row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    // Appended one by one, so they stand left to right in this order.
    row->addStretch(1);
    connect(AddButton(kOptionsId, QStringLiteral("Options"), BandIcons::kOptions, false),
            &QToolButton::clicked, this, &CBandWindow::OnOptions);
    connect(AddButton(kImportId, QStringLiteral("Import"), BandIcons::kImport, false), &QToolButton::clicked,
            this, &CBandWindow::OnImport);
    connect(AddButton(kExportId, QStringLiteral("Export"), BandIcons::kExport, false), &QToolButton::clicked,
            this, &CBandWindow::OnExport);
    connect(AddButton(kViewId, QStringLiteral("View"), 0, true), &QToolButton::clicked, this,
            &CBandWindow::OnViewDropDown);
    connect(AddButton(kHelpId, QStringLiteral("Help"), 0, true), &QToolButton::clicked, this,
            &CBandWindow::OnHelpDropDown);
    m_rebar->setMinimumHeight(m_toolbar->sizeHint().height());
    m_toolbarFullWidth = m_toolbar->sizeHint().width();
}

QToolButton* CBandWindow::AddButton(int id, const QString& text, int iconId, bool dropDown)
{
    QToolButton* button = dropDown ? new CDropDownButton(m_toolbar) : new QToolButton(m_toolbar);
    button->setObjectName(QString::number(id));
    button->setText(text);
    button->setAutoRaise(true);
    if (dropDown) {
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    } else {
        button->setIcon(BandIcons::Icon(iconId));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setToolTip(text);
    }
    button->setIconSize(QSize(16, 16));
    // Texts are never elided; a narrow pane drops the icon buttons' texts.
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* row = static_cast<QHBoxLayout*>(m_toolbar->layout());
    row->insertWidget(row->count() - 1, button);
    return button;
}

void CBandWindow::BuildTabs()
{
    m_frame = new CTabbedChildWindow(CDotNetTabCtrl::kBottom | CDotNetTabCtrl::kToolTips, this);
    m_frame->setObjectName(QStringLiteral("frame"));
    CDotNetTabCtrl* tabs = m_frame->GetTabCtrl();
    const int historyImage = tabs->AddImage(BandIcons::Icon(BandIcons::kProduct));
    const int searchImage = tabs->AddImage(BandIcons::Icon(BandIcons::kSearch));

    m_tree = new AdvancedTree::CAdvancedTree(m_frame);
    m_tree->setObjectName(QString::number(kHistoryTreeId));
    m_tree->SetImageList(BandIcons::HistoryTreeImages());
    m_tree->SetRoot(m_band.Root());
    m_frame->AddTab(m_tree, QStringLiteral("History"), historyImage);

    m_search = new CSearchDialog(&m_band, m_frame);
    m_search->setObjectName(QString::number(kSearchDialogId));
    m_frame->AddTab(m_search, QStringLiteral("Search"), searchImage);
}

void CBandWindow::RestoreCurrentTab()
{
    std::optional<std::int32_t> stored = BandSettings::ReadBinaryValue(BandSettings::kCurrentTab);
    if (!stored)
        return;
    CDotNetTabCtrl* tabs = m_frame->GetTabCtrl();
    int index = *stored;
    if (index < 0 || index >= tabs->GetItemCount())
        index = tabs->GetCurSel();
    if (index >= 0)
        m_frame->SetActiveTab(index);
}

void CBandWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateLayout();
}

void CBandWindow::UpdateLayout()
{
    if (m_rebar && m_frame) {
        const int height = m_rebar->minimumHeight();
        const Qt::ToolButtonStyle style =
            width() < m_toolbarFullWidth ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon;
        for (QToolButton* button : m_toolbar->findChildren<QToolButton*>()) {
            if (!button->icon().isNull())
                button->setToolButtonStyle(style);
        }
        m_toolbar->layout()->activate();
        m_rebar->setGeometry(0, 0, width(), height);
        // The buttons keep their full size; the rebar clips what does not fit.
        m_toolbar->setGeometry(0, 0, std::max(m_toolbar->sizeHint().width(), width()), height);
        m_frame->setGeometry(0, height, width(), std::max(0, this->height() - height));
        return;
    }
    if (auto* only = findChild<QWidget*>(QStringLiteral("1"), Qt::FindDirectChildrenOnly))
        only->setGeometry(rect());
}

void CBandWindow::OnOptions()
{
    COptionsDialog dialog(this);
    dialog.exec();
}

void CBandWindow::OnImport()
{
    HistoryImport::ImportHistoryFiles(this);
}

void CBandWindow::OnExport()
{
    // The selected node of the current tab's tree exports itself.
    AdvancedTree::CAdvancedTree* tree =
        m_frame->GetActiveView() == m_search && m_search ? m_search->ResultTree() : m_tree;
    if (auto* node = dynamic_cast<CDIInitableItem*>(tree ? tree->GetSelectedNode() : nullptr)) {
        node->Export();
        return;
    }
    CExportDialog::ExportAll(this, m_band.UrlBase());
}

QPoint CBandWindow::BelowButton(int id) const
{
    auto* button = m_toolbar->findChild<QToolButton*>(QString::number(id));
    if (!button)
        return mapToGlobal(QPoint(0, 0));
    return button->mapToGlobal(QPoint(0, button->height()));
}

void CBandWindow::OnViewDropDown()
{
    std::unique_ptr<QMenu> menu = BandMenus::LoadPopup(BandMenus::Popup::ViewType);
    auto* marks = new QActionGroup(menu.get());
    for (QAction* action : menu->actions()) {
        action->setCheckable(true);
        marks->addAction(action);
        const int command = action->data().toInt();
        action->setChecked(command ==
                           (m_band.GetItemViewMode() == 1 ? BandMenus::kViewTitle : BandMenus::kViewUrl));
    }
    const int command = BandMenus::TrackPopupMenu(*menu, BelowButton(kViewId), this);
    if (command == BandMenus::kViewUrl)
        m_band.SetItemViewMode(0);
    else if (command == BandMenus::kViewTitle)
        m_band.SetItemViewMode(1);
    RepaintTrees();
}

void CBandWindow::OnHelpDropDown()
{
    std::unique_ptr<QMenu> menu = BandMenus::LoadPopup(BandMenus::Popup::Help);
    const int command = BandMenus::TrackPopupMenu(*menu, BelowButton(kHelpId), this);
    menu.reset();
    if (command == BandMenus::kHelpIndex)
        Help::OpenHelpTopic(Help::kIndexTopic);
    else if (command == BandMenus::kAbout)
        ShowAboutDialog();
}

void CBandWindow::RepaintTrees()
{
    for (AdvancedTree::CAdvancedTree* tree : {m_tree, m_search ? m_search->ResultTree() : nullptr}) {
        if (!tree)
            continue;
        tree->Invalidate();
        tree->repaint();
        tree->GetTreeView()->viewport()->repaint();
    }
}

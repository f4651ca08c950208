#include "Wayscribe/AdvancedTree/CAdvancedTree.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"

namespace AdvancedTree {

CAdvancedTree::CAdvancedTree(QWidget* parent) : QWidget(parent)
{
    m_model = new CAdvancedTreeModel(this);
    m_view = new QTreeView(this);
    m_view->setObjectName(QString::number(kTreeViewId));
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    m_view->header()->setStretchLastSection(true);
    m_view->setRootIsDecorated(true);
    m_view->setUniformRowHeights(true);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setAllColumnsShowFocus(true);
    m_view->setExpandsOnDoubleClick(true);
    m_view->setTextElideMode(Qt::ElideRight);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setIconSize(QSize(16, 16));
    m_view->setMouseTracking(true);
    m_view->viewport()->setAttribute(Qt::WA_Hover);
    m_viewport = m_view->viewport();
    m_viewport->installEventFilter(this);
    m_view->setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    connect(m_model, &CAdvancedTreeModel::ExpandRequested, m_view, [this](const QModelIndex& index) {
        if (!m_view->isExpanded(index))
            m_view->expand(index);
    });
    connect(m_model, &CAdvancedTreeModel::CollapseRequested, m_view, [this](const QModelIndex& index) {
        if (m_view->isExpanded(index))
            m_view->collapse(index);
    });
    connect(m_view, &QTreeView::expanded, this, &CAdvancedTree::OnViewExpanded);
    connect(m_view, &QTreeView::collapsed, this, &CAdvancedTree::OnViewCollapsed);
    connect(m_view, &QTreeView::clicked, this, &CAdvancedTree::OnClicked);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CAdvancedTree::OnSelectionChanged);
}

CAdvancedTree::~CAdvancedTree()
{
    // The view goes before the model so that nothing paints rows whose nodes
    // are being left; its viewport's last events are none of ours.
    m_viewport->removeEventFilter(this);
    delete m_view;
    m_view = nullptr;
}

void CAdvancedTree::SetRoot(CTreeItem* root)
{
    m_model->SetRoot(root);
}

CTreeItem* CAdvancedTree::GetRoot() const
{
    return m_model->GetRoot();
}

void CAdvancedTree::SetImageList(QList<QIcon> images)
{
    m_model->SetImageList(std::move(images));
    Invalidate();
}

void CAdvancedTree::Invalidate()
{
    m_viewport->update();
    update();
}

CTreeItem* CAdvancedTree::GetSelectedNode() const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : m_model->NodeOf(selected.first());
}

bool CAdvancedTree::SelectNode(CTreeItem* node)
{
    const QModelIndex index = m_model->IndexOf(node);
    if (!index.isValid())
        return false;
    // A selection made by code ignores whatever keys happen to be down.
    m_selectingByCode = true;
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_selectingByCode = false;
    return true;
}

void CAdvancedTree::OnViewExpanded(const QModelIndex& index)
{
    if (CTreeItem* node = m_model->NodeOf(index))
        node->Expand();
}

void CAdvancedTree::OnViewCollapsed(const QModelIndex& index)
{
    if (CTreeItem* node = m_model->NodeOf(index))
        node->Collapse();
}

void CAdvancedTree::CollapseOldBranch(CTreeItem* previous, CTreeItem* next)
{
    for (CTreeItem* node = previous; node && node != GetRoot(); node = node->GetParent()) {
        if (node == next || node->IsAncestorOf(next))
            return;
        node->Collapse();
    }
}

void CAdvancedTree::OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // Only a newly selected row counts: rows that vanish with their nodes
    // deselect themselves and open nothing.
    if (selected.isEmpty())
        return;
    CTreeItem* next = m_model->NodeOf(selected.indexes().value(0));
    if (!next)
        return;
    CTreeItem* previous = deselected.isEmpty() ? nullptr : m_model->NodeOf(deselected.indexes().value(0));
    const bool keepOldBranch =
        !m_selectingByCode && (QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
    if (previous && !keepOldBranch)
        CollapseOldBranch(previous, next);
    if (next->HasChildren())
        next->Expand();
    // A node's failure (a band that has lost its history cannot name the
    // saved copy) must not unwind through Qt's event loop: it ends the
    // program there.
    try {
        next->Open();
    } catch (...) {
    }
}

void CAdvancedTree::OnClicked(const QModelIndex& index)
{
    CTreeItem* node = m_model->NodeOf(index);
    if (node && node->HasChildren() && !node->IsExpanded() && node == GetSelectedNode())
        node->Expand();
}

bool CAdvancedTree::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_viewport) {
        if (event->type() == QEvent::ContextMenu) {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            ShowContextMenuAt(menuEvent->reason() == QContextMenuEvent::Mouse ? menuEvent->globalPos()
                                                                              : QCursor::pos());
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            // The menu's request follows on its own; the selection stays.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CAdvancedTree::contextMenuEvent(QContextMenuEvent* event)
{
    // A request from the keyboard reaches the window, not the view's rows.
    ShowContextMenuAt(QCursor::pos());
    event->accept();
}

void CAdvancedTree::ShowContextMenuAt(const QPoint& globalPos)
{
    const QModelIndex index = m_view->indexAt(m_viewport->mapFromGlobal(globalPos));
    if (CTreeItem* node = m_model->NodeOf(index))
        node->ShowContextMenu(static_cast<QWidget*>(this), globalPos.x(), globalPos.y());
}

}  // namespace AdvancedTree

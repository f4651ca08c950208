#include "Wayscribe/tools/dialogs/CSearchDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "Wayscribe/tools/dialogs/CSearchSettings.h"
#include "Wayscribe/tools/search/CSearchWorker.h"
#include "Wayscribe/tools/widgets/BandIcons.h"
#include "platform/ui/MessageBox.h"

namespace {

QString Id(int id)
{
    return QString::number(id);
}

// Keeps its room in the layout while hidden, so that nothing moves when a
// search starts or ends.
void KeepRoomWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

// Carries what the worker reports over to the pane's thread. Posting never
// waits, so the worker can always go on, even while the pane waits for it.
class CSearchDialog::CResultForwarder final : public ISearchResultSink {
public:
    CResultForwarder(CSearchDialog* pane, unsigned search) : m_pane(pane), m_search(search) {}

    void OnSearchProgress(int percent) override
    {
        QMetaObject::invokeMethod(
            m_pane, [pane = m_pane, search = m_search, percent] { pane->ShowProgress(search, percent); },
            Qt::QueuedConnection);
    }
    void OnSearchFound(CDataItem item) override
    {
        // Posted events to one receiver arrive in the order posted, which
        // keeps the visits in the order found.
        QMetaObject::invokeMethod(
            m_pane,
            [pane = m_pane, search = m_search, item = std::move(item)] { pane->AddResult(search, item); },
            Qt::QueuedConnection);
    }
    void OnSearchEnded(const SearchSummary& summary) override
    {
        QMetaObject::invokeMethod(
            m_pane, [pane = m_pane, search = m_search, summary] { pane->ShowOutcome(search, summary); },
            Qt::QueuedConnection);
    }

private:
    CSearchDialog* m_pane;  // outlives the worker, which outlives this
    unsigned m_search;
};

CSearchDialog::CSearchDialog(CQXServiceProvider* bandContext, QWidget* parent)
    : QWidget(parent), m_bandContext(bandContext)
{
    m_root = std::make_unique<AdvancedTree::CSortedTreeItem>(AdvancedTree::AutoDeleteMode::Never);
    m_root->Expand();
    m_view = std::make_unique<CTreeDataView>();
    m_view->SetRoot(m_root.get());
    BuildControls();
    LoadSettings();
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, &CSearchDialog::OnTimer);
}

CSearchDialog::~CSearchDialog()
{
    m_timer->stop();
    m_stopEvent.store(true);
    SaveSettings();
    m_worker.reset();  // waits for the worker, which the stop event ends soon
    m_forwarder.reset();
    // The window goes before the nodes it shows, and the nodes before their root.
    delete m_tree;
    m_tree = nullptr;
    m_view->SetRoot(nullptr);
}

void CSearchDialog::BuildControls()
{
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(9, 1);

    auto* searchIn = new QLabel("Search in:", this);
    searchIn->setObjectName(Id(kSearchInId));
    grid->addWidget(searchIn, 0, 0, Qt::AlignLeft);
    const auto makeCheck = [&](const char* text, int id, int row) {
        auto* check = new QCheckBox(text, this);
        check->setObjectName(Id(id));
        grid->addWidget(check, row, 1);
        return check;
    };
    m_url = makeCheck("URL", kUrlId, 0);
    m_title = makeCheck("Title", kTitleId, 1);
    m_content = makeCheck("Content", kContentId, 2);

    grid->addWidget(new QLabel("Search for:", this), 3, 0, Qt::AlignLeft);
    m_expression = new QLineEdit(this);
    m_expression->setObjectName(Id(kExpressionId));
    grid->addWidget(m_expression, 4, 0);
    m_searchNow = new QPushButton("Search now", this);
    m_searchNow->setObjectName(Id(kSearchNowId));
    m_searchNow->setDefault(true);
    KeepRoomWhenHidden(m_searchNow);
    grid->addWidget(m_searchNow, 4, 1);
    m_stop = new QPushButton("Stop", this);
    m_stop->setObjectName(Id(kStopId));
    m_stop->setEnabled(false);
    grid->addWidget(m_stop, 5, 1);
    connect(m_searchNow, &QPushButton::clicked, this, &CSearchDialog::SearchNow);
    connect(m_expression, &QLineEdit::returnPressed, this, &CSearchDialog::SearchNow);
    connect(m_stop, &QPushButton::clicked, this, &CSearchDialog::Stop);

    auto* separator = new QFrame(this);
    separator->setObjectName(Id(kSeparatorId));
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    grid->addWidget(separator, 6, 0, 1, 2);

    m_searching = new QLabel("Searching...", this);
    m_searching->setObjectName(Id(kSearchingId));
    KeepRoomWhenHidden(m_searching);
    m_searching->hide();
    grid->addWidget(m_searching, 7, 0, 1, 2);
    // Where "Searching..." stood, once the search is over.
    m_outcome = new QLabel(this);
    m_outcome->setObjectName(Id(kOutcomeId));
    m_outcome->setWordWrap(true);
    m_outcome->hide();
    grid->addWidget(m_outcome, 7, 0, 1, 2);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(Id(kProgressId));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(m_progress->sizeHint().height() * 2 / 3);
    KeepRoomWhenHidden(m_progress);
    m_progress->hide();
    grid->addWidget(m_progress, 8, 0, 1, 2);

    // The placeholder marks the tree's place and stays hidden; the tree
    // takes its cell and stretches both ways.
    auto* placeholder = new QLabel(this);
    placeholder->setObjectName(Id(kPlaceholderId));
    KeepRoomWhenHidden(placeholder);
    placeholder->hide();
    grid->addWidget(placeholder, 9, 0, 1, 2);
    m_tree = new AdvancedTree::CAdvancedTree(this);
    m_tree->setObjectName(Id(kResultTreeId));
    m_tree->SetImageList(BandIcons::HistoryTreeImages());
    m_tree->SetRoot(m_root.get());
    grid->addWidget(m_tree, 9, 0, 1, 2);
}

void CSearchDialog::LoadSettings()
{
    CSearchSettings settings;
    if (!CSearchSettings::Load(&settings))
        return;
    m_url->setChecked(settings.Url);
    m_title->setChecked(settings.Title);
    m_content->setChecked(settings.Content);
    m_expression->setText(QString::fromStdString(settings.Expression));
}

void CSearchDialog::SaveSettings() const
{
    CSearchSettings settings;
    settings.Url = m_url->isChecked();
    settings.Title = m_title->isChecked();
    settings.Content = m_content->isChecked();
    settings.Expression = m_expression->text().toStdString();
    settings.Save();  // nothing to tell the user about a setting not kept
}

void CSearchDialog::SearchNow()
{
    if (m_worker)
        return;
    m_root->RemoveAllChildren();

    auto request = std::make_unique<SearchRequest>();
    request->Expression = m_expression->text().toStdString();
    request->Url = m_url->isChecked();
    request->Title = m_title->isChecked();
    request->Content = m_content->isChecked();
    request->StopEvent = &m_stopEvent;
    request->BandContext = m_bandContext;
    if (!request->Url && !request->Title && !request->Content) {
        MessageBoxA(static_cast<QWidget*>(this), kNoFieldsMessage, "", MB_OK);
        return;
    }

    ++m_search;
    m_forwarder = std::make_unique<CResultForwarder>(this, m_search);
    request->ResultSink = m_forwarder.get();
    m_stopEvent.store(false);
    m_progress->setValue(0);
    m_worker = std::make_unique<CSearchWorker>(std::move(request));
    ShowSearching(true);
    m_timer->start();
}

void CSearchDialog::Stop()
{
    if (m_worker)
        m_stopEvent.store(true);
}

void CSearchDialog::ShowSearching(bool searching)
{
    m_searchNow->setVisible(!searching);
    m_stop->setEnabled(searching);
    m_progress->setVisible(searching);
    m_searching->setVisible(searching);
    if (searching)
        m_outcome->clear();
    // The outcome arrives just before the worker ends and shows once the
    // pane is idle again.
    m_outcome->setVisible(!searching && !m_outcome->text().isEmpty());
}

void CSearchDialog::OnTimer()
{
    if (!m_worker || !m_worker->HasEnded())
        return;
    // Whatever the worker posted before it ended is filed before the pane
    // shows the search as over.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    ShowSearching(false);
    m_worker.reset();
    m_forwarder.reset();
    m_timer->stop();
}

void CSearchDialog::ShowProgress(unsigned search, int percent)
{
    if (search == m_search && m_worker)
        m_progress->setValue(percent);
}

void CSearchDialog::AddResult(unsigned search, const CDataItem& item)
{
    if (search == m_search)
        m_view->AddItem(item);
}

void CSearchDialog::ShowOutcome(unsigned search, const SearchSummary& summary)
{
    if (search != m_search)
        return;
    m_outcome->setText(QString::fromStdString(SearchSummaryText(summary)));
    if (!m_worker)
        m_outcome->show();
}

// The Search tab of the band: the fields to search (URL, Title, Content),
// the search expression, "Search now" and "Stop", the progress of a running
// search, and a calendar tree of the visits found, built like the History
// tree.
//
// Every control carries its control identifier as its object name: "256"
// the "Search in:" label, "250" URL, "251" Title, "252" Content, "245" the
// expression, "243" Search now, "244" Stop, "249" the placeholder where the
// tree stands, "247" the separator, "261" the progress bar, "262"
// "Searching...", "263" what the last search came to, and "106" the result
// tree window.
//
// When a search ends the pane says how: the number of visits found ("No
// visits found"), that it was stopped, the expression's error in words when
// it does not parse, and how many pages were not searched to the end. A
// visit found by its saved page shows the text around the match in its tip.
//
// A search runs on a worker thread (CSearchWorker) with its own connection
// to the URL base; the visits it finds are filed into the result tree on
// this pane's thread, in the order found. At most one search runs at a
// time; a timer (250 ms) notices its end and restores the controls.
//
// The pane reads its check boxes and expression from the registry when it
// is made and writes them back when it is destroyed; destroying it while a
// search runs stops the search and waits for the worker, serving the
// apartment's incoming calls meanwhile. GUI thread only.
#pragma once

#include <QWidget>

#include <atomic>
#include <memory>

#include "Wayscribe/tools/search/ISearchResultSink.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class CQXServiceProvider;
class CSearchWorker;
class CTreeDataView;

namespace AdvancedTree {
class CAdvancedTree;
class CSortedTreeItem;
}  // namespace AdvancedTree

class CSearchDialog : public QWidget {
    Q_OBJECT

public:
    enum ControlId : int {
        kResultTreeId = 106,
        kSearchNowId = 243,
        kStopId = 244,
        kExpressionId = 245,
        kSeparatorId = 247,
        kPlaceholderId = 249,
        kUrlId = 250,
        kTitleId = 251,
        kContentId = 252,
        kSearchInId = 256,
        kProgressId = 261,
        kSearchingId = 262,
        kOutcomeId = 263,
    };
    static constexpr int kTimerPeriodMs = 250;
    static constexpr const char* kNoFieldsMessage = "Specify one or more search flags (URL, Title, Content)";

    // `bandContext` is handed to every visit found, as the band hands it to
    // the History tree's visits; it may be null and must outlive the pane.
    explicit CSearchDialog(CQXServiceProvider* bandContext = nullptr, QWidget* parent = nullptr);
    ~CSearchDialog() override;

    void SetBandContext(CQXServiceProvider* bandContext) { m_bandContext = bandContext; }

    // "Search now": clears the results and starts a search with the fields
    // and expression of the controls. Nothing while a search runs; a message
    // (and no search) when no field is checked.
    void SearchNow();
    // "Stop": asks a running search to end; the timer restores the controls
    // once it has.
    void Stop();
    bool IsSearching() const { return m_worker != nullptr; }

    AdvancedTree::CAdvancedTree* ResultTree() const { return m_tree; }
    AdvancedTree::CSortedTreeItem* ResultRoot() const { return m_root.get(); }

private:
    class CResultForwarder;

    void BuildControls();
    void LoadSettings();
    void SaveSettings() const;
    void ShowSearching(bool searching);
    void OnTimer();
    void ShowProgress(unsigned search, int percent);
    void AddResult(unsigned search, const CDataItem& item);
    void ShowOutcome(unsigned search, const SearchSummary& summary);

    CQXServiceProvider* m_bandContext;  // not owned
    QCheckBox* m_url = nullptr;
    QCheckBox* m_title = nullptr;
    QCheckBox* m_content = nullptr;
    QLineEdit* m_expression = nullptr;
    QPushButton* m_searchNow = nullptr;
    QPushButton* m_stop = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_searching = nullptr;
    QLabel* m_outcome = nullptr;
    QTimer* m_timer = nullptr;

    std::unique_ptr<AdvancedTree::CSortedTreeItem> m_root;
    std::unique_ptr<CTreeDataView> m_view;
    AdvancedTree::CAdvancedTree* m_tree = nullptr;  // a child window

    // The stop event: raised by Stop and on destruction, read by the worker.
    std::atomic<bool> m_stopEvent{false};
    // Numbers the searches, so that what an earlier search still had on its
    // way is dropped rather than mixed into a later one's results.
    unsigned m_search = 0;
    std::unique_ptr<CResultForwarder> m_forwarder;
    std::unique_ptr<CSearchWorker> m_worker;
};

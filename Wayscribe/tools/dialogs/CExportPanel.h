// The export dialog's own panel, shown below the file dialog's controls:
// what to export (all visits, the selected item with its subitems, or a
// range from one date and time to another with an optional URL filter).
//
// Controls carry their identifiers as object names: "257" All, "258"
// Selected item, "259" Range, "231" and "234" the From date and time, "232"
// and "235" the To date and time, "206" the URL filter. GUI thread only.
#pragma once

#include <QDate>
#include <QWidget>

#include <cstdint>
#include <string>

#include "Wayscribe/tools/dialogs/CExportRange.h"
#include "Wayscribe/tools/dialogs/ExportScope.h"

class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimer;
class CCheckedTimeEdit;

class CExportPanel : public QWidget {
    Q_OBJECT

public:
    enum ControlId : int {
        kUrlId = 206,
        kFromDateId = 231,
        kToDateId = 232,
        kFromTimeId = 234,
        kToTimeId = 235,
        kAllId = 257,
        kSelectedItemId = 258,
        kRangeId = 259,
    };
    static constexpr int kTimerPeriodMs = 250;
    // The dates the pickers offer.
    static QDate EarliestDate() { return QDate(1978, 2, 8); }
    static QDate LatestDate() { return QDate(2999, 1, 1); }

    explicit CExportPanel(QWidget* parent = nullptr);

    // Checks the scope's button, fills the URL filter, sets the date and
    // time pickers to `from` and `to` in local time, applies the enabling
    // rule and starts re-applying it every 250 ms until the panel goes.
    void Initialize(ExportScope scope, bool selectedItemAllowed, const std::string& urlFilter,
                    std::int64_t from, std::int64_t to);

    // "Selected item (with subitems)" is enabled only when allowed (and,
    // when it is not allowed but checked, "All" is checked instead); the URL
    // filter and the four pickers are enabled only while "Range" is checked.
    void ApplyEnablingRule();

    // The scope of the checked button, `fallback` when none is checked.
    ExportScope CheckedScope(ExportScope fallback) const;
    std::string UrlFilter() const;
    // From and To as picked: each date's local midnight plus its time when
    // the time picker holds one; swapped when From is later than To.
    CExportRange PickedRange() const;

private:
    void SetPickers(QDateEdit* date, CCheckedTimeEdit* time, std::int64_t value);

    QRadioButton* m_all = nullptr;
    QRadioButton* m_selectedItem = nullptr;
    QRadioButton* m_range = nullptr;
    QDateEdit* m_fromDate = nullptr;
    CCheckedTimeEdit* m_fromTime = nullptr;
    QDateEdit* m_toDate = nullptr;
    CCheckedTimeEdit* m_toTime = nullptr;
    QLineEdit* m_url = nullptr;
    QTimer* m_timer = nullptr;
    bool m_selectedItemAllowed = false;
};

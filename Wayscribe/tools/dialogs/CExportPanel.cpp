#include "Wayscribe/tools/dialogs/CExportPanel.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

#include "Wayscribe/tools/dialogs/CCheckedTimeEdit.h"
#include "common/LocalTime.h"

namespace {

QString Id(int id)
{
    return QString::number(id);
}

}  // namespace

CExportPanel::CExportPanel(QWidget* parent) : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QGroupBox(this);
    outer->addWidget(frame);
    auto* grid = new QGridLayout(frame);

    auto* scopes = new QButtonGroup(this);
    const auto makeRadio = [&](const char* text, int id, int row) {
        auto* radio = new QRadioButton(text, frame);
        radio->setObjectName(Id(id));
        scopes->addButton(radio);
        grid->addWidget(radio, row, 0);
        return radio;
    };
    m_all = makeRadio("All", kAllId, 0);
    m_selectedItem = makeRadio("Selected item (with subitems)", kSelectedItemId, 1);
    m_range = makeRadio("Range", kRangeId, 2);

    const auto makeDate = [&](int id) {
        auto* date = new QDateEdit(frame);
        date->setObjectName(Id(id));
        date->setCalendarPopup(true);
        date->setDisplayFormat("yyyy-MM-dd");
        date->setDateRange(EarliestDate(), LatestDate());
        date->setMinimumWidth(date->fontMetrics().horizontalAdvance("0000-00-000") + 36);
        return date;
    };
    const auto makeTime = [&](int id) {
        auto* time = new CCheckedTimeEdit(frame);
        time->setObjectName(Id(id));
        return time;
    };
    auto* range = new QGridLayout;
    range->setColumnStretch(3, 1);
    auto* fromLabel = new QLabel("From:", frame);
    m_fromDate = makeDate(kFromDateId);
    m_fromTime = makeTime(kFromTimeId);
    fromLabel->setBuddy(m_fromDate);
    range->addWidget(fromLabel, 0, 0);
    range->addWidget(m_fromDate, 0, 1);
    range->addWidget(m_fromTime, 0, 2);
    auto* toLabel = new QLabel("To:", frame);
    m_toDate = makeDate(kToDateId);
    m_toTime = makeTime(kToTimeId);
    toLabel->setBuddy(m_toDate);
    range->addWidget(toLabel, 1, 0);
    range->addWidget(m_toDate, 1, 1);
    range->addWidget(m_toTime, 1, 2);
    auto* urlLabel = new QLabel("URL:", frame);
    m_url = new QLineEdit(frame);
    m_url->setObjectName(Id(kUrlId));
    urlLabel->setBuddy(m_url);
    range->addWidget(urlLabel, 2, 0);
    range->addWidget(m_url, 2, 1, 1, 3);
    grid->addLayout(range, 0, 1, 3, 1);
    grid->setColumnStretch(1, 1);
}

void CExportPanel::Initialize(ExportScope scope, bool selectedItemAllowed, const std::string& urlFilter,
                              std::int64_t from, std::int64_t to)
{
    m_selectedItemAllowed = selectedItemAllowed;
    switch (scope) {
        case ExportScope::All:
            m_all->setChecked(true);
            break;
        case ExportScope::SelectedItem:
            m_selectedItem->setChecked(true);
            break;
        case ExportScope::Range:
            m_range->setChecked(true);
            break;
    }
    m_url->setText(QString::fromStdString(urlFilter));
    SetPickers(m_fromDate, m_fromTime, from);
    SetPickers(m_toDate, m_toTime, to);

    ApplyEnablingRule();
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setInterval(kTimerPeriodMs);
        connect(m_timer, &QTimer::timeout, this, &CExportPanel::ApplyEnablingRule);
        m_timer->start();
    }
}

void CExportPanel::SetPickers(QDateEdit* date, CCheckedTimeEdit* time, std::int64_t value)
{
    std::tm local{};
    if (!wys::BreakDownLocalTime(value, &local))
        return;
    // A date outside the offered ones is brought to the nearest offered.
    date->setDate(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
    time->SetTime(QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)));
    time->SetHasTime(true);
}

void CExportPanel::ApplyEnablingRule()
{
    m_selectedItem->setEnabled(m_selectedItemAllowed);
    if (!m_selectedItemAllowed && m_selectedItem->isChecked())
        m_all->setChecked(true);
    const bool range = m_range->isChecked();
    for (QWidget* control :
         {static_cast<QWidget*>(m_url), static_cast<QWidget*>(m_fromDate), static_cast<QWidget*>(m_fromTime),
          static_cast<QWidget*>(m_toDate), static_cast<QWidget*>(m_toTime)})
        control->setEnabled(range);
}

ExportScope CExportPanel::CheckedScope(ExportScope fallback) const
{
    if (m_all->isChecked())
        return ExportScope::All;
    if (m_selectedItem->isChecked())
        return ExportScope::SelectedItem;
    if (m_range->isChecked())
        return ExportScope::Range;
    return fallback;
}

std::string CExportPanel::UrlFilter() const
{
    return m_url->text().toStdString();
}

CExportRange CExportPanel::PickedRange() const
{
    const auto picked = [](const QDateEdit* date, const CCheckedTimeEdit* time) {
        const QDate d = date->date();
        return CExportRange::PickedTime(d.year(), d.month(), d.day(), time->SecondsIntoDay());
    };
    return CExportRange::Between(picked(m_fromDate, m_fromTime), picked(m_toDate, m_toTime));
}

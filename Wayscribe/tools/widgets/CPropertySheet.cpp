#include "Wayscribe/tools/widgets/CPropertySheet.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Wayscribe/tools/widgets/CPropertyPage.h"

CPropertySheet::CPropertySheet(const QString& title, QWidget* owner) : QDialog(owner)
{
    setWindowTitle(title);
    setModal(true);
    m_pages = new QTabWidget(this);
    m_pages->setDocumentMode(false);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pages, &QTabWidget::currentChanged, this, &CPropertySheet::OnPageChanged);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(m_buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CPropertySheet::AddPage(CPropertyPage* page)
{
    // Adding the first page makes it current; it is told when shown.
    m_switching = true;
    const int index = m_pages->addTab(page, page->GetTitle());
    m_switching = false;
    return index;
}

int CPropertySheet::GetPageCount() const
{
    return m_pages->count();
}

CPropertyPage* CPropertySheet::GetPage(int index) const
{
    return qobject_cast<CPropertyPage*>(m_pages->widget(index));
}

CPropertyPage* CPropertySheet::GetActivePage() const
{
    return GetPage(m_pages->currentIndex());
}

bool CPropertySheet::SetActivePage(int index)
{
    if (!GetPage(index))
        return false;
    if (index == m_pages->currentIndex()) {
        m_shownPage = index;
        return GetPage(index)->OnSetActive();
    }
    m_pages->setCurrentIndex(index);
    return m_pages->currentIndex() == index;
}

void CPropertySheet::showEvent(QShowEvent* event)
{
    if (m_shownPage < 0 && GetActivePage()) {
        m_shownPage = m_pages->currentIndex();
        GetActivePage()->OnSetActive();
    }
    QDialog::showEvent(event);
}

void CPropertySheet::OnPageChanged(int index)
{
    if (m_switching || index < 0)
        return;
    CPropertyPage* page = GetPage(index);
    if (page && !page->OnSetActive() && m_shownPage >= 0 && m_shownPage != index) {
        // Refused: back to the page that was shown, without asking it again.
        m_switching = true;
        m_pages->setCurrentIndex(m_shownPage);
        m_switching = false;
        return;
    }
    m_shownPage = index;
}

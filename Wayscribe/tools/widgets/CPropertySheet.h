// A modal dialog of property pages under tabs, closed with OK or Cancel.
#pragma once

#include <QDialog>
#include <QString>

class CPropertyPage;
class QDialogButtonBox;
class QTabWidget;

// There is no Apply button: pages that change nothing need none, and pages
// that do act on OK. The page shown first is told OnSetActive when the sheet
// is shown; each page is told again whenever the user turns to it. GUI
// thread only.
class CPropertySheet : public QDialog {
    Q_OBJECT

public:
    explicit CPropertySheet(const QString& title, QWidget* owner = nullptr);

    // Takes ownership; returns the page's index.
    int AddPage(CPropertyPage* page);
    int GetPageCount() const;
    CPropertyPage* GetPage(int index) const;
    CPropertyPage* GetActivePage() const;
    // Shows a page as the user's choice would; false when it refused.
    bool SetActivePage(int index);

    QDialogButtonBox* GetButtons() const { return m_buttons; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnPageChanged(int index);

    QTabWidget* m_pages = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    int m_shownPage = -1;
    bool m_switching = false;
};

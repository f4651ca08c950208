// One page of a property sheet.
#pragma once

#include <QString>
#include <QWidget>

// The sheet shows the page under its title and tells it when it becomes the
// page shown (OnSetActive). Pages are owned by the sheet they are added to.
class CPropertyPage : public QWidget {
    Q_OBJECT

public:
    explicit CPropertyPage(QString title, QWidget* parent = nullptr)
        : QWidget(parent), m_title(std::move(title))
    {
    }

    const QString& GetTitle() const { return m_title; }

    // The page is about to be shown; false keeps the sheet on the page it
    // was on. The base accepts.
    virtual bool OnSetActive() { return true; }

private:
    QString m_title;
};

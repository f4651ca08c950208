// A time-of-day picker with a check box that can leave it without a time:
// while the box is clear the picker holds no time (and its time edit is
// greyed).
#pragma once

#include <QTime>
#include <QWidget>

class QCheckBox;
class QTimeEdit;

class CCheckedTimeEdit : public QWidget {
    Q_OBJECT

public:
    explicit CCheckedTimeEdit(QWidget* parent = nullptr);

    // Whether the picker holds a time (its box is ticked).
    bool HasTime() const;
    void SetHasTime(bool hasTime);
    // The time of day shown, whole seconds; kept while the box is clear.
    QTime Time() const;
    void SetTime(const QTime& time);
    // Seconds since midnight of the time held; 0 while it holds none.
    int SecondsIntoDay() const;

    QCheckBox* CheckBox() const { return m_check; }
    QTimeEdit* TimeEdit() const { return m_edit; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void UpdateEditState();

    QCheckBox* m_check = nullptr;
    QTimeEdit* m_edit = nullptr;
};

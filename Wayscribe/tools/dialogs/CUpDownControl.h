// An up-down control bound to an edit (its buddy): its arrows, and the Up
// and Down keys in the edit, step the number in the edit within the
// control's range and write it back as decimal text.
//
// The range limits only what the arrows produce: a number typed into the
// edit beyond the range stays as typed until an arrow is used, which first
// brings it back into the range (48 with a range of 0 to 24 becomes 24).
// GUI thread only.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class CUpDownControl : public QWidget {
    Q_OBJECT

public:
    // The range a control has until SetRange is called.
    static constexpr int kDefaultLower = 0;
    static constexpr int kDefaultUpper = 100;

    // `buddy` must outlive the control (it is normally a sibling).
    explicit CUpDownControl(QLineEdit* buddy, QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }

    // The buddy's number brought into the range (0 first, when the text is
    // not a number).
    int Position() const;
    // One arrow press per step, upwards for positive steps.
    void StepBy(int steps);

    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_buddy;  // not owned
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_lower = kDefaultLower;
    int m_upper = kDefaultUpper;
};

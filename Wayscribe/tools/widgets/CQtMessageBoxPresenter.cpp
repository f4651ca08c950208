#include "Wayscribe/tools/widgets/CQtMessageBoxPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <map>

#include "platform/ui/MessageBox.h"

namespace {

QMessageBox::Icon IconOf(UINT type)
{
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONASTERISK:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QMessageBox::ButtonRole RoleOf(int id)
{
    switch (id) {
        case IDOK:
        case IDYES:
        case IDRETRY:
        case IDTRYAGAIN:
        case IDCONTINUE:
            return QMessageBox::AcceptRole;
        case IDNO:
            return QMessageBox::NoRole;
        case IDCANCEL:
        case IDABORT:
            return QMessageBox::RejectRole;
        default:
            return QMessageBox::ActionRole;
    }
}

int ShowOnThisThread(HWND owner, const QString& text, const QString& caption, UINT type)
{
    QMessageBox box(IconOf(type), caption, text, QMessageBox::NoButton, static_cast<QWidget*>(owner));
    box.setTextFormat(Qt::PlainText);
    std::map<QAbstractButton*, int> ids;
    QAbstractButton* escape = nullptr;
    const std::vector<int> buttons = MessageBoxButtons(type);
    const int preferred = MessageBoxDefaultButton(type);
    for (int id : buttons) {
        QPushButton* button = box.addButton(QString::fromUtf8(MessageBoxButtonText(id)), RoleOf(id));
        ids[button] = id;
        if (id == preferred)
            box.setDefaultButton(button);
        if (id == IDCANCEL || (buttons.size() == 1 && id == IDOK))
            escape = button;
    }
    // Without a button that means "cancel", the box cannot be dismissed.
    box.setEscapeButton(escape);
    if (!escape)
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
    box.exec();
    if (auto it = ids.find(box.clickedButton()); it != ids.end())
        return it->second;
    // Closed without a button (the application is quitting): the most
    // cautious answer the box offers, never one that goes ahead.
    for (int cautious : {IDCANCEL, IDNO, IDABORT, IDOK}) {
        if (std::find(buttons.begin(), buttons.end(), cautious) != buttons.end())
            return cautious;
    }
    return buttons.empty() ? 0 : buttons.front();
}

}  // namespace

int CQtMessageBoxPresenter::Show(HWND owner, std::string_view text, std::string_view caption, UINT type)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(application))
        return 0;
    const QString body = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    if (QThread::currentThread() == application->thread())
        return ShowOnThisThread(owner, body, title, type);
    int answer = 0;
    QMetaObject::invokeMethod(
        application, [&]() { answer = ShowOnThisThread(owner, body, title, type); },
        Qt::BlockingQueuedConnection);
    return answer;
}

#include "platform/ui/MessageBox.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/CConsoleMessageBoxPresenter.h"
#include "platform/ui/IMessageBoxPresenter.h"

namespace {

struct ButtonSet {
    UINT type;
    std::vector<int> buttons;
};

const std::vector<ButtonSet>& ButtonSets()
{
    static const std::vector<ButtonSet> kSets = {
        {MB_OK, {IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO, {IDYES, IDNO}},
        {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
        {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
    };
    return kSets;
}

struct PresenterSlot {
    std::mutex mutex;
    std::shared_ptr<IMessageBoxPresenter> presenter = std::make_shared<CConsoleMessageBoxPresenter>();
};

PresenterSlot& Slot()
{
    // Never destroyed: boxes may still be shown from static destructors.
    static PresenterSlot* slot = new PresenterSlot;
    return *slot;
}

}  // namespace

std::vector<int> MessageBoxButtons(UINT type)
{
    const UINT set = type & MB_TYPEMASK;
    for (const ButtonSet& entry : ButtonSets()) {
        if (entry.type == set)
            return entry.buttons;
    }
    return {IDOK};
}

int MessageBoxDefaultButton(UINT type)
{
    const std::vector<int> buttons = MessageBoxButtons(type);
    const std::size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

bool IsMessageBoxButton(UINT type, int answer)
{
    const std::vector<int> buttons = MessageBoxButtons(type);
    return std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
}

const char* MessageBoxButtonText(int id)
{
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDABORT:
            return "Abort";
        case IDRETRY:
            return "Retry";
        case IDIGNORE:
            return "Ignore";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        case IDTRYAGAIN:
            return "Try Again";
        case IDCONTINUE:
            return "Continue";
        default:
            return "?";
    }
}

std::shared_ptr<IMessageBoxPresenter> SetMessageBoxPresenter(std::shared_ptr<IMessageBoxPresenter> presenter)
{
    if (!presenter)
        presenter = std::make_shared<CConsoleMessageBoxPresenter>();
    PresenterSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    slot.presenter.swap(presenter);
    return presenter;
}

std::shared_ptr<IMessageBoxPresenter> GetMessageBoxPresenter()
{
    PresenterSlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    return slot.presenter;
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    // The presenter is held by value so that a box stays valid while another
    // thread installs a different presenter.
    const std::shared_ptr<IMessageBoxPresenter> presenter = GetMessageBoxPresenter();
    return presenter->Show(owner, text ? text : "", caption ? caption : "Error", type);
}

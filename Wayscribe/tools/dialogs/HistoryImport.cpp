#include "Wayscribe/tools/dialogs/HistoryImport.h"

#include <QWidget>

#include <string>
#include <utility>

#include "Wayscribe/tools/dialogs/CHistoryFileDialog.h"
#include "common/CImportedVisitCounter.h"
#include "common/HistoryFileVisits.h"
#include "common/UrlBaseConnection.h"
#include "platform/ui/MessageBox.h"

namespace HistoryImport {

namespace {

ShowHook g_showHook;

}  // namespace

ShowHook SetShowHook(ShowHook hook)
{
    return std::exchange(g_showHook, std::move(hook));
}

std::string ReportText(unsigned long added, unsigned long skipped)
{
    return "Imported " + std::to_string(added) + (added == 1 ? " visit" : " visits") + ", skipped " +
           std::to_string(skipped) + ".";
}

std::string ImportHistoryFiles(QWidget* owner)
{
    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base)))
        return std::string();
    CHistoryFileDialog dialog(owner, CHistoryFileDialog::Kind::Import);
    if (const ShowHook hook = g_showHook)
        hook(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::string();
    const std::string path = dialog.ChosenPath();
    if (path.empty())
        return std::string();
    const unsigned long visits = wys::CountHistoryFileVisits(path).value_or(0);
    unsigned long added = 0;
    HRESULT hr;
    {
        wys::CImportedVisitCounter counter(base.Get());
        CComBSTR text(path);
        hr = base->Import(text);
        added = counter.Added();
    }
    // A failed import has shown its own message.
    if (SUCCEEDED(hr))
        MessageBoxA(owner, ReportText(added, visits > added ? visits - added : 0).c_str(), kReportCaption,
                    MB_OK | MB_ICONINFORMATION);
    return path;
}

}  // namespace HistoryImport

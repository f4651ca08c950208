#include "Wayscribe/tools/HistoryImport.h"

#include <utility>

#include "Wayscribe/tools/CHistoryFileDialog.h"
#include "Wayscribe/tools/UrlBaseConnection.h"

namespace HistoryImport {

namespace {

ShowHook g_showHook;

}  // namespace

ShowHook SetShowHook(ShowHook hook)
{
    return std::exchange(g_showHook, std::move(hook));
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
    CComBSTR text(path);
    base->Import(text);  // a failed import is the URL base's to report
    return path;
}

}  // namespace HistoryImport

#include "Wayscribe/tools/dialogs/CExportDialog.h"

#include <QGridLayout>
#include <QLayout>

#include <ctime>
#include <utility>

#include "Wayscribe/tools/dialogs/CExportPanel.h"
#include "Wayscribe/tools/dialogs/CHistoryFileDialog.h"
#include "Wayscribe/tools/help/Help.h"
#include "Wayscribe/tools/help/HelpMaps.h"
#include "common/FileStamp.h"
#include "platform/com/Variant.h"
#include "platform/ui/MessageBox.h"

namespace {

CExportDialog::ShowHook g_showHook;

// A VARIANT holding a one-dimensional array of BSTR, in the set's order.
HRESULT MakePathArray(const std::set<std::string>& paths, CComVariant* variant)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(paths.size()));
    if (!array)
        return E_OUTOFMEMORY;
    LONG index = 0;
    for (const std::string& path : paths) {
        CComBSTR text(path);
        // PutElement copies the string; the array owns its copy.
        const HRESULT hr = SafeArrayPutElement(array, &index, text.m_str);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
        ++index;
    }
    variant->vt = VT_ARRAY | VT_BSTR;
    variant->parray = array;
    return S_OK;
}

}  // namespace

CExportDialog::ShowHook CExportDialog::SetShowHook(ShowHook hook)
{
    return std::exchange(g_showHook, std::move(hook));
}

bool CExportDialog::DoModal(QWidget* owner)
{
    CHistoryFileDialog dialog(owner, CHistoryFileDialog::Kind::Export);
    auto* panel = new CExportPanel(&dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    else
        dialog.layout()->addWidget(panel);
    panel->Initialize(Scope, SelectedItemAllowed, UrlFilter, From, To);
    Help::InstallContextHelp(&dialog, Help::kExportHelpIds);
    // Its size follows from the panel; the dialog is not resizable.
    dialog.setSizeGripEnabled(false);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(640, 0)));
    dialog.setFixedSize(dialog.size());
    if (const ShowHook hook = g_showHook)
        hook(&dialog, panel);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const std::string path = dialog.ChosenPath();
    if (path.empty())
        return false;
    Scope = panel->CheckedScope(Scope);
    UrlFilter = panel->UrlFilter();
    const CExportRange range = panel->PickedRange();
    From = range.From;
    To = range.To;
    Path = path;
    return true;
}

HRESULT CExportDialog::Export(QWidget* owner, IWYSCURLBase* base) const
{
    const wys::FileStamp before = wys::FileStamp::Of(Path);
    const HRESULT hr = CallUrlBase(base);
    // The URL base writes no file when nothing was selected or the pages
    // could not be copied, and still answers S_OK.
    if (SUCCEEDED(hr) && wys::FileStamp::Of(Path) == before)
        MessageBoxA(owner, kNothingExportedText, kNothingExportedCaption, MB_OK | MB_ICONWARNING);
    return hr;
}

HRESULT CExportDialog::CallUrlBase(IWYSCURLBase* base) const
{
    if (!base)
        return E_POINTER;
    CComBSTR path(Path);
    switch (Scope) {
        case ExportScope::All:
            return base->Export(path);
        case ExportScope::SelectedItem: {
            CComVariant paths;
            const HRESULT hr = MakePathArray(SelectedPaths, &paths);
            return FAILED(hr) ? hr : base->ExportRange2(path, paths);
        }
        case ExportScope::Range: {
            CComBSTR url;
            if (!UrlFilter.empty())
                url = CComBSTR(UrlFilter);
            return base->ExportRange(path, From, To - From, url);
        }
    }
    return E_INVALIDARG;
}

void CExportDialog::ExportAll(QWidget* owner, IWYSCURLBase* base)
{
    CExportDialog dialog;
    dialog.From = dialog.To = static_cast<std::int64_t>(std::time(nullptr));
    if (dialog.DoModal(owner))
        dialog.Export(owner, base);
}

void CExportDialog::ExportSelection(QWidget* owner, IWYSCURLBase* base, std::int64_t start, std::int64_t span,
                                    const std::string& urlFilter, const std::set<std::string>& paths)
{
    CExportDialog dialog;
    dialog.UrlFilter = urlFilter;
    dialog.SelectedPaths = paths;
    dialog.SelectedItemAllowed = !paths.empty();
    dialog.Scope = dialog.SelectedItemAllowed ? ExportScope::SelectedItem : ExportScope::Range;
    dialog.From = start;
    dialog.To = start + span;
    if (dialog.DoModal(owner))
        dialog.Export(owner, base);
}

// Counts the visits an Import adds, as the URL base announces them: each
// record added while the counter lives whose Path lies in an import folder
// ("Imported/..."). Visits of captures that finished during the import are
// added by the same call, after the import's own, and are not counted.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"

namespace wys {

class CImportedVisitCounter {
public:
    // Advises a sink on `history` (which must outlive the counter) for the
    // counter's life. Events arrive while the calling thread dispatches, as
    // during the Import call itself.
    explicit CImportedVisitCounter(IWYSCURLBase* history);
    ~CImportedVisitCounter();
    CImportedVisitCounter(const CImportedVisitCounter&) = delete;
    CImportedVisitCounter& operator=(const CImportedVisitCounter&) = delete;

    // The advice's result: when it failed, nothing is counted.
    HRESULT Result() const { return m_result; }
    unsigned long Added() const;

    // Whether a record's Path lies in an import folder.
    static bool IsImportedPath(BSTR path);

private:
    class CSink;

    ComPtr<CSink> m_sink;
    CAdvisedConnection m_connection;
    HRESULT m_result = S_OK;
};

}  // namespace wys

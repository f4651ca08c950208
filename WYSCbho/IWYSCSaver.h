// The helper object's own interface: a dual interface with no members beyond
// IDispatch, through which scripts and hosts can see the object.
#pragma once

#include "common/Identifiers.h"
#include "platform/com/Dispatch.h"

struct IWYSCSaver : IDispatch {
    static constexpr GUID Iid = IID_IWYSCSaver;
    using Base = IDispatch;

protected:
    ~IWYSCSaver() = default;
};

// Marks an object whose state never changes after creation (or that guards
// its own state), so that it may be used from any thread. Such an object is
// handed to other apartments of the same process as a plain pointer, without
// a proxy; across processes it travels like any other object.
#pragma once

#include "platform/com/Unknown.h"

struct IAgileObject : IUnknown {
    static constexpr GUID Iid = MakeGuid("{94EA2B94-E9CC-49E0-C0FF-EE64CA8F5B90}");
    using Base = IUnknown;

protected:
    ~IAgileObject() = default;
};

// Type information that identifies a class or interface by its GUID. This is
// what IProvideClassInfo hands out here: the classes of this system describe
// their members in code, not in type-library files.
#pragma once

#include "platform/com/Dispatch.h"

// A new ITypeInfo whose GetGuid answers `guid`; the caller owns the reference.
HRESULT CreateGuidTypeInfo(REFGUID guid, ITypeInfo** info);

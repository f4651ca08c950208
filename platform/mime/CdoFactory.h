// Creation of the messaging component's classes by class identifier.
//
// CdoGetClassObject has the shape of an in-process server's DllGetClassObject,
// so that the component runtime can register the two classes and hand them
// out through CoCreateInstance; CdoCreateInstance is the direct way until it
// does. The classes are CLSID_Message (answers IMessage, IFetchStop) and
// CLSID_Configuration (answers IConfiguration).
#pragma once

#include "platform/com/Unknown.h"

// A class object (IClassFactory) for one of the two classes.
// CLASS_E_CLASSNOTAVAILABLE for another class identifier.
HRESULT CdoGetClassObject(REFCLSID clsid, REFIID iid, void** object);

// A new object of the class, asked for `iid`. REGDB_E_CLASSNOTREG for another
// class identifier, E_NOINTERFACE (and *object null) when the class does not
// answer `iid`, CLASS_E_NOAGGREGATION for a non-null `outer`.
HRESULT CdoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object);

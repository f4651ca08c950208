// Method lists of the platform's interfaces that the runtime carries, for
// use in the lists of interfaces derived from them (see RemoteInterface.h).
// The runtime registers these interfaces itself.
#pragma once

#include "platform/com/DispatchMembers.h"
#include "platform/rpc/RemoteInterface.h"

#define WYS_RPC_ICLASSFACTORY_METHODS(X) \
    X(CreateInstance, In, In, Out)       \
    X(LockServer, In)

// Names cannot be looked up across the wire: GetIDsOfNames answers E_NOTIMPL
// there, and callers use the DISPIDs their interface declares.
#define WYS_RPC_IDISPATCH_METHODS(X)               \
    X(GetTypeInfoCount, Out)                       \
    X(GetTypeInfo, In, In, Out)                    \
    X(GetIDsOfNames, In, Unsupported, In, In, Out) \
    X(Invoke, In, In, In, In, InOut, Out, OutAlways, OutAlways)

#define WYS_RPC_ITYPEINFO_METHODS(X) X(GetGuid, Out)

#define WYS_RPC_IPROVIDECLASSINFO_METHODS(X) X(GetClassInfo, Out)
#define WYS_RPC_IPROVIDECLASSINFO2_METHODS(X) WYS_RPC_IPROVIDECLASSINFO_METHODS(X) X(GetGUID, In, Out)

#define WYS_RPC_ICONNECTIONPOINTCONTAINER_METHODS(X) X(FindConnectionPoint, In, Out)

#define WYS_RPC_ICONNECTIONPOINT_METHODS(X) \
    X(GetConnectionInterface, Out)          \
    X(GetConnectionPointContainer, Out)     \
    X(Advise, In, Out)                      \
    X(Unadvise, In)

#define WYS_RPC_IPROPERTYNOTIFYSINK_METHODS(X) \
    X(OnChanged, In)                           \
    X(OnRequestEdit, In)

// The method list of a dispatch interface declared by a member list
// (platform/com/DispatchMembers.h): IDispatch's, then a slot per method and
// per property get or put, a get's one parameter Out and a put's In.
#define WYS_RPC_MEMBER_METHODS(LIST, X) WYS_RPC_IDISPATCH_METHODS(X) LIST(WYS_RPC_MEMBER, X)
#define WYS_RPC_MEMBER(X, kind, name, id, ...) WYS_RPC_MEMBER_##kind(X, name, __VA_ARGS__)
#define WYS_RPC_MEMBER_Method(X, name, ...) X(name __VA_OPT__(, WYS_COM_MAP(WYS_COM_PARAM_DIR, __VA_ARGS__)))
#define WYS_RPC_MEMBER_PropGet(X, name, type, param) X(get_##name, Out)
#define WYS_RPC_MEMBER_Prop(X, name, type, param) X(get_##name, Out) X(put_##name, In)

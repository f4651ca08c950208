#include "platform/base/WinError.h"

#include <cerrno>
#include <cstdio>

LONG Win32ErrorFromErrno(int error)
{
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EINVAL:
        case ENAMETOOLONG:
            return ERROR_INVALID_PARAMETER;
        case ECANCELED:
            return ERROR_CANCELLED;
        default:
            return ERROR_WRITE_FAULT;
    }
}

std::string HResultText(HRESULT hr)
{
    struct Name {
        HRESULT value;
        const char* text;
    };
    static constexpr Name kNames[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_ABORT, "E_ABORT"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
        {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
        {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED"},
        {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
        {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
        {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
        {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
        {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION"},
        {CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT"},
        {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT"},
        {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
        {RPC_E_SERVER_DIED, "RPC_E_SERVER_DIED"},
        {RPC_E_INVALID_DATA, "RPC_E_INVALID_DATA"},
        {RPC_E_INVALIDMETHOD, "RPC_E_INVALIDMETHOD"},
        {RPC_E_CHANGED_MODE, "RPC_E_CHANGED_MODE"},
        {RPC_E_WRONG_THREAD, "RPC_E_WRONG_THREAD"},
        {RPC_S_CALLPENDING, "RPC_S_CALLPENDING"},
        {HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), "ERROR_FILENAME_EXCED_RANGE"},
    };
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
    for (const Name& name : kNames) {
        if (name.value == hr)
            return std::string(name.text) + " (" + hex + ")";
    }
    return hex;
}

// The printer management query over COM: the WbemLocator, the namespace
// ROOT\CIMV2, a WQL query for Win32_Printer, and WorkOffline of the first
// printer it returns. Every object created here is released before the call
// returns, and the component runtime is uninitialised only when this call's
// own CoInitializeEx succeeded.
#include "platform/win32/win32_platform.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <vector>

namespace qov::win32 {

namespace {

template <class T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// A BSTR of an ANSI text, or null when it cannot be made.
BSTR ansiBstr(const char* text) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0) return nullptr;
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(needed - 1));
    if (!out) return nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, needed) <= 0) {
        SysFreeString(out);
        return nullptr;
    }
    return out;
}

// Everything one query holds, released in reverse order of creation.
struct Query {
    bool ownInit = false;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* results = nullptr;
    IWbemClassObject* printer = nullptr;
    BSTR nameSpace = nullptr;
    BSTR language = nullptr;
    BSTR text = nullptr;

    ~Query() {
        release(printer);
        release(results);
        release(services);
        release(locator);
        SysFreeString(text);
        SysFreeString(language);
        SysFreeString(nameSpace);
        // RPC_E_CHANGED_MODE (the thread is in another apartment) is not
        // ours to undo; S_OK and S_FALSE both want their CoUninitialize.
        if (ownInit) CoUninitialize();
    }
};

ManagementResult run(Query& q, const char* query, bool* offline) {
    q.ownInit = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));

    // Security may have been set already in this process (RPC_E_TOO_LATE);
    // the query then runs under that. Any other failure is left to the
    // calls below to report.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);

    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWbemLocator, reinterpret_cast<void**>(&q.locator))))
        return ManagementResult::Failed;

    q.nameSpace = SysAllocString(L"ROOT\\CIMV2");
    if (!q.nameSpace) return ManagementResult::Failed;
    if (FAILED(q.locator->ConnectServer(q.nameSpace, nullptr, nullptr, nullptr, 0, nullptr,
                                        nullptr, &q.services)))
        return ManagementResult::Failed;

    if (FAILED(CoSetProxyBlanket(q.services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE)))
        return ManagementResult::Failed;

    q.language = SysAllocString(L"WQL");
    q.text = ansiBstr(query);
    if (!q.language || !q.text) return ManagementResult::Failed;
    if (FAILED(q.services->ExecQuery(q.language, q.text,
                                     WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                     nullptr, &q.results)))
        return ManagementResult::Failed;

    ULONG returned = 0;
    const HRESULT next = q.results->Next(static_cast<long>(WBEM_INFINITE), 1, &q.printer, &returned);
    if (FAILED(next)) return ManagementResult::Failed;
    if (returned == 0 || !q.printer) return ManagementResult::NotFound;

    VARIANT value;
    VariantInit(&value);
    const HRESULT got = q.printer->Get(L"WorkOffline", 0, &value, nullptr, nullptr);
    // A printer whose WorkOffline cannot be read is not reported as online.
    ManagementResult result = ManagementResult::Failed;
    if (SUCCEEDED(got) && value.vt == VT_BOOL) {
        if (offline) *offline = value.boolVal != VARIANT_FALSE;
        result = ManagementResult::Found;
    }
    VariantClear(&value);
    return result;
}

}  // namespace

ManagementResult Win32Platform::queryPrinterOffline(const char* query, bool* offline) {
    Query q;
    return run(q, query, offline);
}

}  // namespace qov::win32

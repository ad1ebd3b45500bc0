#include "CKsIrpTarget.h"

#include "Trace.h"
#include "device/DeviceSystem.h"

#include <new>

namespace {
constexpr int kTraceErrors = 1;
constexpr int kTraceEnterLeave = 6;

// The lowest bit of an OVERLAPPED event handle tells the I/O manager not to queue
// a completion-port packet for the request.
HANDLE WithoutCompletionPort(HANDLE event) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
}

HRESULT SendConnectionState(HANDLE target, ULONG flags, KSSTATE* value) {
    KSPROPERTY* request = new (std::nothrow) KSPROPERTY();
    if (!request) return E_OUTOFMEMORY;
    request->Set = KSPROPSETID_Connection;
    request->Id = KSPROPERTY_CONNECTION_STATE;
    request->Flags = flags;
    ULONG bytes = 0;
    HRESULT result = CKsIrpTarget::SyncIoctl(target, request, sizeof(KSPROPERTY), value, sizeof(KSSTATE), &bytes);
    delete request;
    return result;
}
}  // namespace

CKsIrpTarget::CKsIrpTarget() {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::CKsIrpTarget()");
    m_hTarget = INVALID_HANDLE_VALUE;
    Trace(kTraceEnterLeave, "%s Leave", "CKsIrpTarget::CKsIrpTarget()");
}

BOOL CKsIrpTarget::IsValidHandle(HANDLE handle) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::IsValidHandle()");
    BOOL valid = handle != nullptr && handle != INVALID_HANDLE_VALUE;
    Trace(kTraceEnterLeave, "%s Leave", "CKsIrpTarget::IsValidHandle()");
    return valid;
}

HANDLE CKsIrpTarget::GetHandle() {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::GetHandle()");
    Trace(kTraceEnterLeave, "%s Leave", "CKsIrpTarget::GetHandle()");
    return m_hTarget;
}

BOOL CKsIrpTarget::SafeCloseHandle(HANDLE& handle) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::SafeCloseHandle()");
    BOOL result = TRUE;
    if (IsValidHandle(handle)) {
        result = DeviceSystemInstance().CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    Trace(kTraceEnterLeave, "%s Leave", "CKsIrpTarget::SafeCloseHandle()");
    return result;
}

HRESULT CKsIrpTarget::SyncIoctl(HANDLE handle, PVOID request, ULONG requestSize, PVOID value, ULONG valueSize,
                                PULONG bytesReturned) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::SyncIoctl()");
    HRESULT result = S_OK;
    ULONG localBytes = 0;
    if (!bytesReturned) bytesReturned = &localBytes;

    if (!IsValidHandle(handle)) {
        Trace(kTraceErrors, "CKsIrpTarget::SyncIoctl Invalid Handle");
        result = E_FAIL;
    } else {
        HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!event) {
            Trace(kTraceErrors, "CKsIrpTarget::SyncIoctl CreateEvent failed");
            result = E_OUTOFMEMORY;
        } else {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = WithoutCompletionPort(event);
            DWORD bytes = 0;
            BOOL done = DeviceSystemInstance().DeviceIoControl(handle, IOCTL_KS_PROPERTY, request, requestSize, value,
                                                               valueSize, &bytes, &overlapped);
            if (done) {
                *bytesReturned = bytes;
            } else {
                DWORD error = ::GetLastError();
                if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA) {
                    if (valueSize == 0) {
                        *bytesReturned = bytes;  // the size a value needs
                    } else {
                        *bytesReturned = 0;
                        result = E_FAIL;
                    }
                } else if (error == ERROR_IO_PENDING) {
                    DWORD wait = ::WaitForSingleObject(event, INFINITE);
                    if (wait != WAIT_OBJECT_0) {
                        Trace(kTraceErrors, "CKsIrpTarget::SyncIoctl WaitForSingleObject failed dwWait:0x%08lx",
                              wait);
                        result = E_FAIL;
                    }
                    // The completed request's length is not fetched.
                    *bytesReturned = 0;
                } else {
                    *bytesReturned = 0;
                    result = E_FAIL;
                }
            }
            SafeCloseHandle(event);
        }
    }
    Trace(kTraceEnterLeave, "%s Leave, returning %#08lx", "CKsIrpTarget::SyncIoctl", result);
    return result;
}

HRESULT CKsIrpTarget::GetPropertySimple(KSSTATE* value) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::GetPropertySimple()");
    HRESULT result = SendConnectionState(m_hTarget, KSPROPERTY_TYPE_GET, value);
    Trace(kTraceEnterLeave, "%s Leave, returning %#08lx", "CKsIrpTarget::GetPropertySimple", result);
    return result;
}

HRESULT CKsIrpTarget::SetPropertySimple(KSSTATE* value) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::SetPropertySimple()");
    HRESULT result = SendConnectionState(m_hTarget, KSPROPERTY_TYPE_SET, value);
    Trace(kTraceEnterLeave, "%s Leave, returning %#08lx", "CKsIrpTarget::SetPropertySimple", result);
    return result;
}

HRESULT CKsIrpTarget::GetPropertyMulti(PKSMULTIPLE_ITEM* buffer, ULONG* filled) {
    Trace(kTraceEnterLeave, "%s Enter", "CKsIrpTarget::GetPropertyMulti()");
    if (filled) *filled = 0;
    KSPROPERTY request = {};
    request.Set = KSPROPSETID_Topology;
    request.Id = KSPROPERTY_TOPOLOGY_NODES;
    request.Flags = KSPROPERTY_TYPE_GET;
    ULONG size = 0;
    HRESULT result = SyncIoctl(m_hTarget, &request, sizeof request, nullptr, 0, &size);
    if (SUCCEEDED(result) && size != 0) {
        if (!buffer) {
            result = E_POINTER;
        } else {
            *buffer = static_cast<PKSMULTIPLE_ITEM>(AllocatePropertyBuffer(size));
            if (!*buffer) {
                result = E_OUTOFMEMORY;
            } else {
                ULONG returned = 0;
                result = SyncIoctl(m_hTarget, &request, sizeof request, *buffer, size, &returned);
                // A request that completed pending reports 0 bytes; the buffer is then
                // taken as filled (it started zeroed).
                if (filled && SUCCEEDED(result)) *filled = returned != 0 && returned < size ? returned : size;
            }
        }
    }
    Trace(kTraceEnterLeave, "%s Leave, returning %#08lx", "CKsIrpTarget::GetPropertyMulti", result);
    return result;
}

// Zeroed, so that bytes a reply left unwritten never hold stale heap contents.
PVOID CKsIrpTarget::AllocatePropertyBuffer(ULONG size) { return new (std::nothrow) BYTE[size](); }

void CKsIrpTarget::FreePropertyBuffer(PVOID buffer) { delete[] static_cast<BYTE*>(buffer); }

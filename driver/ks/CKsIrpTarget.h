// The common base of every Kernel Streaming object the driver talks to: a filter
// or a pin is a file handle to which I/O controls are sent. It owns nothing by
// itself; the derived class closes m_hTarget (filter: destructor, pin: ClosePin).
#pragma once

#include "KsDefinitions.h"

class CKsIrpTarget {
public:
    CKsIrpTarget();

    // Neither NULL nor INVALID_HANDLE_VALUE.
    static BOOL IsValidHandle(HANDLE handle);

    HANDLE GetHandle();

    // Closes a valid handle and sets it to INVALID_HANDLE_VALUE. Returns the
    // CloseHandle result, or TRUE when there was nothing to close.
    static BOOL SafeCloseHandle(HANDLE& handle);

    // Sends IOCTL_KS_PROPERTY and waits for it. A size query (valueSize 0) answered
    // with ERROR_MORE_DATA or ERROR_INSUFFICIENT_BUFFER succeeds with the size
    // needed in *bytesReturned; a request that completed pending gives 0 bytes.
    // bytesReturned may be null.
    static HRESULT SyncIoctl(HANDLE handle, PVOID request, ULONG requestSize, PVOID value, ULONG valueSize,
                             PULONG bytesReturned);

    // KSPROPERTY_CONNECTION_STATE of m_hTarget, read or written.
    HRESULT GetPropertySimple(KSSTATE* value);
    HRESULT SetPropertySimple(KSSTATE* value);

    // KSPROPERTY_TOPOLOGY_NODES of m_hTarget into a buffer of exactly the size the
    // target reports. The caller sets *buffer to null first; it stays null when the
    // reported size is 0; otherwise the caller frees it with FreePropertyBuffer.
    // size, when given, receives how many bytes of the buffer the reply filled: a
    // target may return fewer than it announced, and nothing past them is its.
    HRESULT GetPropertyMulti(PKSMULTIPLE_ITEM* buffer, ULONG* size = nullptr);

    // Allocates a zeroed property buffer the way GetPropertyMulti does (null on
    // failure), and frees one (null is fine).
    static PVOID AllocatePropertyBuffer(ULONG size);
    static void FreePropertyBuffer(PVOID buffer);

protected:
    HANDLE m_hTarget;
};

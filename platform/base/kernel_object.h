#pragma once
// Internal: the common base of every object behind a HANDLE, and the table of live handles.
//
// A HANDLE is the address of its object. The table holds one reference per open handle;
// every call looks the handle up and keeps its own reference for the length of the call, so
// a handle closed by another thread meanwhile never frees the object under the caller. A
// running thread holds a reference of its own, which is what lets CloseHandle detach it.

#include "platform/base/types.h"

#include <memory>

namespace qv::platform {

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    // Waits for the object to be signalled; objects that cannot be waited on fail.
    virtual DWORD Wait(DWORD milliseconds);
};

// Enters the object into the table and returns its handle.
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);

// The object behind a live handle, or null with ERROR_INVALID_HANDLE. LookupHandleAs also
// fails when the handle is of another kind.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Closes the calling thread's message queue and ends its windows. Threads of BeginThread do
// it before they are signalled, so whoever waited for one finds its windows gone.
void CloseThreadMessageQueue();

}  // namespace qv::platform

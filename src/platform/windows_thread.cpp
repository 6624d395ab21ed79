// Threads on Windows: CreateThread, an unbounded WaitForSingleObject, CloseHandle.
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace teko::platform {

struct Thread::Impl {
    Routine routine = nullptr;
    void* argument = nullptr;
    HANDLE handle = nullptr;

    static DWORD WINAPI Entry(LPVOID parameter) {
        const auto* impl = static_cast<const Impl*>(parameter);
        impl->routine(impl->argument);
        return 0;
    }
};

Thread::Thread() = default;
Thread::~Thread() {
    Join();
}

bool Thread::Start(Routine routine, void* argument) {
    Join();
    std::unique_ptr<Impl> impl(new (std::nothrow) Impl{routine, argument, nullptr});
    if (!impl) return false;
    // Default security and stack size; the thread runs at once.
    impl->handle = CreateThread(nullptr, 0, Impl::Entry, impl.get(), 0, nullptr);
    if (impl->handle == nullptr) return false;
    impl_ = std::move(impl);
    return true;
}

void Thread::Join() {
    if (!impl_) return;
    WaitForSingleObject(impl_->handle, INFINITE);
    CloseHandle(impl_->handle);
    impl_.reset();
}

}  // namespace teko::platform

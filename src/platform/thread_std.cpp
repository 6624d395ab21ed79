// Threads on platforms other than Windows: the standard library's threads.
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace teko::platform {

struct Thread::Impl {
    std::thread thread;
};

Thread::Thread() = default;
Thread::~Thread() {
    Join();
}

bool Thread::Start(Routine routine, void* argument) {
    Join();
    try {
        auto impl = std::make_unique<Impl>();
        impl->thread = std::thread(routine, argument);
        impl_ = std::move(impl);
        return true;
    } catch (const std::exception&) {  // std::system_error, std::bad_alloc
        return false;
    }
}

void Thread::Join() {
    if (impl_ && impl_->thread.joinable()) impl_->thread.join();
    impl_.reset();
}

}  // namespace teko::platform

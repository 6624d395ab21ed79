// An allocator for the library that counts what it hands out and takes back,
// records the blocks in order and can refuse one chosen allocation. Safe to
// use from the capture thread and client threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "teko32/teko32_ext.h"

namespace teko::testing {

class CountingAllocator {
  public:
    struct Usage {
        int64_t blocks;        // handed out and not yet released
        int64_t bytes;         // their sizes together
        uint64_t allocations;  // handed out since the start
    };

    CountingAllocator() = default;
    CountingAllocator(const CountingAllocator&) = delete;
    CountingAllocator& operator=(const CountingAllocator&) = delete;

    // Makes this the library's allocator; false when the library refused it.
    bool Install() { return TekoSetAllocator(Allocate, Release, this) == 1; }
    // Restores the library's own allocator.
    static void Uninstall() { TekoSetAllocator(nullptr, nullptr, nullptr); }

    // Refuses the allocation that would be number `index` (counting from 0
    // over the allocations handed out), once.
    void FailAt(uint64_t index) {
        const std::lock_guard lock(lock_);
        failAt_ = static_cast<int64_t>(index);
    }

    Usage Now() const {
        const std::lock_guard lock(lock_);
        return {static_cast<int64_t>(live_.size()), bytes_, allocations_};
    }
    uint64_t Allocations() const { return Now().allocations; }
    uint64_t Releases() const {
        const std::lock_guard lock(lock_);
        return releases_;
    }
    int64_t Live() const { return Now().blocks; }
    // Every block handed out, in order.
    std::vector<void*> Allocated() const {
        const std::lock_guard lock(lock_);
        return allocated_;
    }
    // Every release request (also of blocks this allocator never handed out,
    // which are recorded but not freed), in order since the last ClearReleased.
    std::vector<void*> Released() const {
        const std::lock_guard lock(lock_);
        return released_;
    }
    void ClearReleased() {
        const std::lock_guard lock(lock_);
        released_.clear();
    }

  private:
    struct Block {
        void* address;
        size_t bytes;
        bool operator<(const Block& other) const { return address < other.address; }
    };

    static void* TEKO32_CALL Allocate(void* context, size_t bytes) {
        auto* self = static_cast<CountingAllocator*>(context);
        const std::lock_guard lock(self->lock_);
        if (static_cast<int64_t>(self->allocations_) == self->failAt_) {
            self->failAt_ = -1;
            return nullptr;
        }
        void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
        if (block == nullptr) return nullptr;
        ++self->allocations_;
        self->bytes_ += static_cast<int64_t>(bytes);
        self->allocated_.push_back(block);
        self->live_.insert({block, bytes});
        return block;
    }
    static void TEKO32_CALL Release(void* context, void* block) {
        if (block == nullptr) return;
        auto* self = static_cast<CountingAllocator*>(context);
        const std::lock_guard lock(self->lock_);
        self->released_.push_back(block);
        const auto found = self->live_.find({block, 0});
        if (found == self->live_.end()) return;
        self->bytes_ -= static_cast<int64_t>(found->bytes);
        self->live_.erase(found);
        ++self->releases_;
        std::free(block);
    }

    mutable std::mutex lock_;
    int64_t failAt_ = -1;
    uint64_t allocations_ = 0;
    uint64_t releases_ = 0;
    int64_t bytes_ = 0;
    std::set<Block> live_;
    std::vector<void*> allocated_;
    std::vector<void*> released_;
};

}  // namespace teko::testing

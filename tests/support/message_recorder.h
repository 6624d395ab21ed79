// Records every message the library shows, from any thread.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "teko32/teko32_ext.h"

namespace teko::testing {

class MessageRecorder {
  public:
    struct Message {
        std::string text;
        std::string caption;
        bool operator==(const Message&) const = default;
    };

    MessageRecorder() = default;
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Makes this the library's message handler.
    void Install() { TekoSetMessageHandler(Show, this); }
    static void Uninstall() { TekoSetMessageHandler(nullptr, nullptr); }

    std::vector<Message> Shown() const {
        const std::lock_guard lock(lock_);
        return shown_;
    }
    // Each message as "caption: text".
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const Message& m : Shown())
            lines.push_back(m.caption + ": " + m.text);
        return lines;
    }
    std::size_t Count() const {
        const std::lock_guard lock(lock_);
        return shown_.size();
    }
    void Clear() {
        const std::lock_guard lock(lock_);
        shown_.clear();
    }

  private:
    static void TEKO32_CALL Show(void* context, const char* text, const char* caption) {
        auto* self = static_cast<MessageRecorder*>(context);
        const std::lock_guard lock(self->lock_);
        self->shown_.push_back({text, caption});
    }

    mutable std::mutex lock_;
    std::vector<Message> shown_;
};

}  // namespace teko::testing

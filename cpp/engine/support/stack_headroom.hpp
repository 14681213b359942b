#pragma once
// How close the calling thread is to the end of its stack, so that a
// recursive reader can refuse a text nested too deeply with a clean error
// instead of crashing, whatever the stack size of the thread it runs on.

#include <cstddef>

namespace kelvo {

class StackHeadroom {
public:
    // Finding the stack's extent can cost milliseconds (the main thread's is
    // read from the process's memory map), so each thread does it once.
    static const StackHeadroom& of_this_thread() {
        thread_local const StackHeadroom headroom;
        return headroom;
    }

    // Leaves `reserve` bytes (at most a quarter of the stack) untouched at its end.
    explicit StackHeadroom(std::size_t reserve = 256 * 1024);
    [[nodiscard]] bool exhausted() const {
        const char probe = 0;
        return limit_ != nullptr && &probe < limit_;
    }

private:
    const char* limit_ = nullptr;  // null when the stack's extent is unknown
};

}  // namespace kelvo

#include "engine/support/stack_headroom.hpp"

#include <pthread.h>

namespace kelvo {

StackHeadroom::StackHeadroom(std::size_t reserve) {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void* lowest = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attributes, &lowest, &size) == 0 && lowest != nullptr) {
        // The stack grows down, towards `lowest`; a small stack keeps a quarter.
        limit_ = static_cast<const char*>(lowest) + (reserve < size / 4 ? reserve : size / 4);
    }
    pthread_attr_destroy(&attributes);
}

}  // namespace kelvo

#include "engine/support/log.hpp"

#include <cstdio>
#include <utility>

namespace kelvo {
namespace {

struct LoggerState {
    LogLevel threshold = LogLevel::warning;
    LogSink sink;
};

LoggerState& logger_state() {
    static LoggerState state;
    return state;
}

void write_to_standard_error(std::string_view message, LogLevel level) {
    const auto name = log_level_name(level);
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
}

}  // namespace

std::string_view log_level_name(LogLevel level) {
    switch (level) {
        case LogLevel::critical: return "critical";
        case LogLevel::error: return "error";
        case LogLevel::warning: return "warning";
        case LogLevel::info: return "info";
        case LogLevel::debug: return "debug";
        case LogLevel::trace: return "trace";
    }
    return "unknown";
}

void log_message(std::string_view message, LogLevel level) {
    auto& state = logger_state();
    if (static_cast<int>(level) > static_cast<int>(state.threshold)) return;
    if (state.sink) {
        state.sink(message, level);
    } else {
        write_to_standard_error(message, level);
    }
}

void set_log_threshold(LogLevel level) { logger_state().threshold = level; }

LogLevel log_threshold() { return logger_state().threshold; }

void set_log_sink(LogSink sink) { logger_state().sink = std::move(sink); }

}  // namespace kelvo

#pragma once
// The engine's own logger. Messages at or above the threshold go to the sink;
// the default sink writes "[level] message" to standard error.

#include <functional>
#include <string_view>

namespace kelvo {

enum class LogLevel { critical = 0, error, warning, info, debug, trace };

using LogSink = std::function<void(std::string_view message, LogLevel level)>;

std::string_view log_level_name(LogLevel level);

void log_message(std::string_view message, LogLevel level);
void set_log_threshold(LogLevel level);
LogLevel log_threshold();
// An empty sink restores the default one.
void set_log_sink(LogSink sink);

}  // namespace kelvo

#include <pybind11/functional.h>
#include <pybind11/pybind11.h>

#include <string>

#include "engine/support/log.hpp"
#include "engine_bindings.hpp"

namespace kelvo::bindings {

namespace py = pybind11;

namespace {

void set_python_sink(const py::object& sink) {
    if (sink.is_none()) {
        set_log_sink({});
        return;
    }
    if (!PyCallable_Check(sink.ptr())) throw py::type_error("a log sink must be callable or None");
    set_log_sink([sink](std::string_view message, LogLevel level) {
        py::gil_scoped_acquire gil;
        sink(py::str(message.data(), message.size()), level);
    });
}

}  // namespace

void bind_logger(py::module_& module) {
    py::enum_<LogLevel>(module, "log_level_type", "The levels of the engine's logger, most severe first.")
        .value("critical", LogLevel::critical)
        .value("error", LogLevel::error)
        .value("warning", LogLevel::warning)
        .value("info", LogLevel::info)
        .value("debug", LogLevel::debug)
        .value("trace", LogLevel::trace);

    module.def(
        "log_encoder",
        [](const py::object& message, LogLevel level) {
            log_message(std::string(py::str(message)), level);
        },
        py::arg("message"), py::arg("level"),
        R"doc(Log a message at a level; messages at or above the threshold reach the sink.

Args:
    message: The message; any other object is logged as its str().
    level: A log_level_type.
)doc");
    module.def("set_log_level", &set_log_threshold, py::arg("level"),
               R"doc(Show messages at this level and the more severe ones (default: warning).

Args:
    level: A log_level_type.
)doc");
    module.def("get_log_level", &log_threshold, "The log_level_type from which messages are shown.");
    module.def("set_log_sink", &set_python_sink, py::arg("sink"),
               R"doc(Send each shown message as sink(message, level) instead of to standard error.

Args:
    sink: A callable, or None to restore standard error.

Raises:
    TypeError: sink is neither callable nor None.
)doc");
    module.def("get_python_version",
               [] { return py::module_::import("platform").attr("python_version")().cast<std::string>(); },
               "The version of the running Python, as platform.python_version() gives it.");

    // A host callable must not outlive the interpreter inside a static object.
    py::module_::import("atexit").attr("register")(py::cpp_function([] { set_log_sink({}); }));
}

}  // namespace kelvo::bindings

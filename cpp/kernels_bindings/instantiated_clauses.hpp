#pragma once
// What the bindings of clause assembly share: a constraint's numbered
// instances with their auxiliary block, and the host's index values read as
// 64-bit integers.

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/clause_template.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"

namespace vx::bindings {

struct Instantiated {
    InstantiatedClauses clauses;
    AuxiliaryBlock block;
};

// Literals numbered faster than the host's lock is released and taken again.
inline constexpr std::uint64_t few_literals = 4096;

inline AuxiliaryBlock block_of(std::int64_t first, std::int64_t pb_count, std::int64_t bx_count) {
    if (pb_count < 0 || bx_count < 0) throw pybind11::value_error("auxiliary counts must not be negative");
    return {first, pb_count, bx_count};
}

// A 64-bit value of a host integer, or nullopt when it needs more bits.
inline std::optional<std::int64_t> wide_integer(pybind11::handle value) {
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        throw pybind11::type_error("index values must be integers, not " + std::string(pybind11::repr(value)));
    }
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) return std::nullopt;
    return number;
}

// Every instance of the template over the host's sequences of index values,
// a shape's cells and parameters bound, or nullopt when the index arithmetic
// needs the host's integers.
inline std::optional<std::shared_ptr<Instantiated>> instantiated(const ClauseTemplate& clause_template,
                                                                 pybind11::handle values,
                                                                 const std::vector<std::uint64_t>& weights,
                                                                 const AuxiliaryBlock& block,
                                                                 kelvo::ShapeBindings bindings = {}) {
    std::vector<std::vector<std::int64_t>> sequences;
    sequences.reserve(static_cast<std::size_t>(std::max<Py_ssize_t>(PyObject_LengthHint(values.ptr(), 0), 0)));
    for (const auto sequence : values) {
        auto& numbers = sequences.emplace_back();
        numbers.reserve(static_cast<std::size_t>(std::max<Py_ssize_t>(PyObject_LengthHint(sequence.ptr(), 0), 0)));
        for (const auto value : sequence) {
            const auto number = wide_integer(value);
            if (!number) return std::nullopt;
            numbers.push_back(*number);
        }
    }
    try {
        // Releasing the host's lock costs more than numbering a few clauses.
        std::optional<pybind11::gil_scoped_release> released;
        if (clause_template.literals_written(sequences) > few_literals) released.emplace();
        auto clauses = clause_template.instantiate(sequences, weights, block.first, bindings);
        return std::make_shared<Instantiated>(Instantiated{std::move(clauses), block});
    } catch (const HostEvaluationNeeded&) {
        return std::nullopt;
    }
}

}  // namespace vx::bindings

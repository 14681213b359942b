#pragma once
// The values a model text evaluates to, for one instance of a constraint:
// integers and integer sequences (index arithmetic, ranges), weighted sums of
// model variables, Boolean formulas of the instance's context, and the few
// objects of the language itself (comparators, FormulaPB, builtins).

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/pbct/pb_constraint.hpp"
#include "engine/support/exact_integer.hpp"

namespace kelvo::model_text {

// A model variable's cell number times a coefficient.
struct WeightedVariable {
    std::int64_t number;
    std::int64_t coefficient;
};

struct Term {
    std::vector<WeightedVariable> items;  // in text order; nothing merged or dropped
};

// x(1,2) before .to_pb() or .to_bx(): the cell number; while a constraint is
// read for all instances at once, -(t + 1) for template occurrence t.
struct Occurrence {
    std::int64_t number;
};

struct FormulaValue {
    bxpr::Ref ref;
};

struct ComparatorValue {
    Comparator comparator;
};

// FormulaPB(term, comparator, bound), or FormulaPB(term, None, None).
struct FormulaPbValue {
    Term term;
    std::optional<Comparator> comparator;
    std::optional<std::int64_t> bound;
};

// FormulaPB(...).to_maxsat(manager, minimization).
struct SoftTerm {
    Term term;
    bool minimization;
};

// An integer that depends on the index values, while a constraint is read
// once for all its instances: constant + sum of coefficient * index value.
struct Affine {
    std::int64_t constant = 0;
    std::vector<std::pair<std::size_t, std::int64_t>> terms;  // (index slot, coefficient), by slot

    // The value at these index values, computed exactly: nullopt when it
    // lies past 64 bits, though its products or partial sums may.
    [[nodiscard]] std::optional<std::int64_t> checked_at(const std::int64_t* index_values) const {
        std::int64_t value = constant;
        for (const auto& [slot, coefficient] : terms) {
            std::int64_t product = 0;
            if (__builtin_mul_overflow(coefficient, index_values[slot], &product) ||
                __builtin_add_overflow(value, product, &value)) {
                return exactly_at(index_values);
            }
        }
        return value;
    }

private:
    [[nodiscard]] std::optional<std::int64_t> exactly_at(const std::int64_t* index_values) const {
        ExactInteger value(constant);
        for (const auto& [slot, coefficient] : terms) value = value + ExactInteger(coefficient) * ExactInteger(index_values[slot]);
        return value.to_int64();
    }
};

// Thrown when a text cannot be read for all instances at once (a range, a
// bound or a coefficient depends on an index): it is then read per instance.
struct NeedsInstances {};

struct NoneValue {};

// An integer past 64 bits, as the host's integers hold it; a result that fits
// in 64 bits is always a plain std::int64_t.
struct WideInteger {
    ExactInteger value;
};

// A float written in the text (0.5, 1e+20, nan, inf): never an index value,
// a coefficient or a bound, but refused as the host refuses it, by its text.
struct FloatValue {
    std::string text;
};

struct StringValue {
    std::string text;
};

enum class Builtin : std::uint8_t {
    bx, pb, comparator_type, formula_pb, sum, manager, range, numpy, identity, not_a_number, infinity,
};

struct BuiltinValue {
    Builtin builtin;
};

struct Value;

struct ListValue {
    std::vector<Value> items;
};

struct Value {
    std::variant<std::int64_t, ListValue, Term, WeightedVariable, Occurrence, FormulaValue, ComparatorValue,
                 FormulaPbValue, SoftTerm, NoneValue, StringValue, BuiltinValue, Affine, WideInteger, FloatValue>
        content;
};

}  // namespace kelvo::model_text

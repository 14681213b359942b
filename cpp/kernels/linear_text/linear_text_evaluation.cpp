#include "kernels/linear_text/linear_text_evaluation.hpp"

#include <cstdint>
#include <deque>
#include <span>
#include <utility>

#include "engine/support/stack_headroom.hpp"

namespace vx {

namespace {

constexpr TextNumber minus_one{true, -1, 0.0};

TextNumber integer_number(std::int64_t value) { return {true, value, 0.0}; }
TextNumber real_number(double value) { return {false, 0, value}; }

// The host's arithmetic on the subset's numbers; an integer result beyond 64
// bits is left to the host, whose integers have no limit.
TextNumber added(TextNumber left, TextNumber right) {
    if (!left.integral || !right.integral) return real_number(left.as_real() + right.as_real());
    std::int64_t result = 0;
    if (__builtin_add_overflow(left.integer, right.integer, &result)) throw OutsideNativeText{};
    return integer_number(result);
}

TextNumber multiplied(TextNumber left, TextNumber right) {
    if (!left.integral || !right.integral) return real_number(left.as_real() * right.as_real());
    std::int64_t result = 0;
    if (__builtin_mul_overflow(left.integer, right.integer, &result)) throw OutsideNativeText{};
    return integer_number(result);
}

TextNumber negated(TextNumber value) {
    if (!value.integral) return real_number(-value.real);
    if (value.integer == INT64_MIN) throw OutsideNativeText{};
    return integer_number(-value.integer);
}

// Integer division and remainder round toward minus infinity, as the host's.
std::pair<std::int64_t, std::int64_t> floor_division(TextNumber left, TextNumber right) {
    if (!left.integral || !right.integral || right.integer == 0 || (left.integer == INT64_MIN && right.integer == -1)) {
        throw OutsideNativeText{};
    }
    std::int64_t quotient = left.integer / right.integer;
    std::int64_t remainder = left.integer % right.integer;
    if (remainder != 0 && ((remainder < 0) != (right.integer < 0))) {
        --quotient;
        remainder += right.integer;
    }
    return {quotient, remainder};
}

// A callable taken by reference, type-erased without a copy or an allocation:
// the evaluator calls one per row and per for clause, and a std::function
// holding a lambda of several captures allocates at each.
template <class Signature>
class CallableReference;

template <class Result, class... Arguments>
class CallableReference<Result(Arguments...)> {
public:
    template <class Callable>
    CallableReference(const Callable& callable)  // NOLINT: implicit, as std::function's
        : callable_(&callable), call_([](const void* held, Arguments... arguments) -> Result {
              return (*static_cast<const Callable*>(held))(arguments...);
          }) {}

    Result operator()(Arguments... arguments) const { return call_(callable_, arguments...); }

private:
    const void* callable_;
    Result (*call_)(const void*, Arguments...);
};

enum class GlobalKind : std::uint8_t { unknown, variable, sequence, compiled_sum, range };

struct Global {
    GlobalKind kind = GlobalKind::unknown;
    const ElementLayout* layout = nullptr;
    const std::vector<TextNumber>* sequence = nullptr;
};

class LinearTextEvaluator {
public:
    LinearTextEvaluator(const LinearSyntaxTree& tree, const LinearTextNames& names) : tree_(tree) {
        resolve_globals(names);
        mark_nodes_with_terms();
    }

    TextExpression expression() {
        TextExpression result;
        result.constant = linear(tree_.root(), result);
        return result;
    }

    TextRows rows() {
        TextRows result;
        result.matrix.starts.push_back(0);
        TextExpression row;
        const auto add_row = [&](std::uint32_t element) {
            if (!has_terms_[element]) throw OutsideNativeText{};
            const auto constant = linear(element, row);
            if (row.terms.has_quadratic_part()) throw OutsideNativeText{};
            result.constants.push_back(constant.as_real());
            row.terms.move_merged_row_into(result.matrix);
        };
        const auto root = tree_.root();
        const auto& node = tree_.node(root);
        if (node.kind == LinearNodeKind::comprehension) {
            const auto element = tree_.children(root).front();
            for_each_binding(root, [&] { add_row(element); });
        } else if (node.kind == LinearNodeKind::list) {
            for (const auto element : tree_.children(root)) add_row(element);
        } else {
            throw OutsideNativeText{};
        }
        return result;
    }

private:
    void resolve_globals(const LinearTextNames& names) {
        const auto& symbols = tree_.symbols();
        globals_.resize(symbols.size());
        for (std::size_t symbol = 0; symbol < symbols.size(); ++symbol) {
            auto& global = globals_[symbol];
            if (const auto variable = names.variables.find(symbols[symbol]); variable != names.variables.end()) {
                global = {GlobalKind::variable, variable->second, nullptr};
            } else if (const auto values = names.sequences.find(symbols[symbol]); values != names.sequences.end()) {
                global = {GlobalKind::sequence, nullptr, &values->second};
            } else if (symbols[symbol] == "CompiledSum") {
                global.kind = GlobalKind::compiled_sum;
            } else if (symbols[symbol] == "range") {
                global.kind = GlobalKind::range;
            }
        }
    }

    // A node has terms when it calls a variable or CompiledSum, or names one;
    // every other node is a number or a sequence of numbers.
    void mark_nodes_with_terms() {
        has_terms_.assign(tree_.size(), 0);
        for (std::uint32_t id = 0; id < tree_.size(); ++id) {
            const auto& node = tree_.node(id);
            if (node.kind == LinearNodeKind::name) {
                const auto kind = globals_[static_cast<std::size_t>(node.value)].kind;
                has_terms_[id] = kind == GlobalKind::variable || kind == GlobalKind::compiled_sum;
                continue;
            }
            if (node.kind == LinearNodeKind::comprehension) refuse_shadowed_names(id);
            for (const auto child : tree_.children(id)) has_terms_[id] = has_terms_[id] || has_terms_[child];
        }
    }

    // A for clause that binds the name of a variable or of CompiledSum would
    // change which nodes have terms; the host reads such text.
    void refuse_shadowed_names(std::uint32_t comprehension) {
        const auto parts = tree_.children(comprehension);
        for (std::size_t clause = 1; clause < parts.size(); clause += 2) {
            const auto kind = globals_[static_cast<std::size_t>(tree_.node(parts[clause]).value)].kind;
            if (kind == GlobalKind::variable || kind == GlobalKind::compiled_sum) throw OutsideNativeText{};
        }
    }

    // Adds the terms of a node's value to sink, each scaled by the factors
    // around it, and returns the node's constant. Both are computed in the
    // host's order: a term's coefficient is multiplied by its factors from
    // the innermost out, and a constant is summed and scaled part by part as
    // the compiled expressions of the host do, never a factor multiplied into
    // each constant of a sum.
    TextNumber linear(std::uint32_t id, TextExpression& sink) {
        if (headroom_.exhausted()) throw OutsideNativeText{};
        if (!has_terms_[id]) return number(id);
        const auto& node = tree_.node(id);
        const auto parts = tree_.children(id);
        switch (node.kind) {
            case LinearNodeKind::sum: {
                refuse_number_minus_expression(parts);
                TextNumber constant = linear(parts[0], sink);
                for (const auto part : parts.subspan(1)) constant = added(constant, linear(part, sink));
                return constant;
            }
            case LinearNodeKind::subtracted:
            case LinearNodeKind::negated:
                return negated(scaled_linear(parts[0], minus_one, sink));
            case LinearNodeKind::product:
                if (!has_terms_[parts[0]]) {
                    const auto factor = number(parts[0]);
                    return multiplied(factor, scaled_linear(parts[1], factor, sink));
                }
                if (!has_terms_[parts[1]]) {
                    const auto factor = number(parts[1]);
                    return multiplied(factor, scaled_linear(parts[0], factor, sink));
                }
                return product_of_expressions(parts[0], parts[1], sink);
            case LinearNodeKind::call:
                return call(id, sink);
            default:
                throw OutsideNativeText{};
        }
    }

    // linear() of a node inside one more factor.
    TextNumber scaled_linear(std::uint32_t id, TextNumber factor, TextExpression& sink) {
        factors_.push_back(factor.as_real());
        real_factors_ += factor.integral ? 0 : 1;
        const auto constant = linear(id, sink);
        real_factors_ -= factor.integral ? 0 : 1;
        factors_.pop_back();
        return constant;
    }

    // A coefficient times the factors around it, the innermost first.
    [[nodiscard]] double scaled_by_factors(double coefficient) const {
        for (auto factor = factors_.rbegin(); factor != factors_.rend(); ++factor) coefficient = *factor * coefficient;
        return coefficient;
    }

    // The host has no number minus a compiled expression: a sum whose terms
    // before a subtracted expression are all numbers is the host's to refuse.
    void refuse_number_minus_expression(std::span<const std::uint32_t> parts) const {
        for (const auto part : parts) {
            if (!has_terms_[part]) continue;
            if (part != parts.front() && tree_.node(part).kind == LinearNodeKind::subtracted) throw OutsideNativeText{};
            return;
        }
    }

    // (a0 + a)(b0 + b) of two linear expressions: its terms, scaled by the
    // factors around it, go to sink; returns b0 a0.
    TextNumber product_of_expressions(std::uint32_t left, std::uint32_t right, TextExpression& sink) {
        std::vector<double> outer_factors;
        outer_factors.swap(factors_);
        const auto outer_real_factors = std::exchange(real_factors_, 0);
        TextExpression own;
        TextExpression other;
        const auto own_constant = linear(left, own);
        const auto other_constant = linear(right, other);
        factors_.swap(outer_factors);
        real_factors_ = outer_real_factors;
        if (own.terms.has_quadratic_part() || other.terms.has_quadratic_part()) throw OutsideNativeText{};
        auto product = own.terms.times(other.terms, own_constant.as_real(), other_constant.as_real());
        for (auto factor = factors_.rbegin(); factor != factors_.rend(); ++factor) product = product.scaled(*factor);
        sink.terms.append_scaled(product, 1.0);
        sink.integral = sink.integral && real_factors_ == 0 && own.integral && other.integral &&
                        own_constant.integral && other_constant.integral;
        return multiplied(other_constant, own_constant);
    }

    TextNumber call(std::uint32_t id, TextExpression& sink) {
        const auto parts = tree_.children(id);
        const auto& callee = tree_.node(parts[0]);
        if (callee.kind != LinearNodeKind::name || is_local(callee.value)) throw OutsideNativeText{};
        const auto& global = globals_[static_cast<std::size_t>(callee.value)];
        if (global.kind == GlobalKind::variable) {
            element(*global.layout, parts.subspan(1), sink);
            return integer_number(0);
        }
        if (global.kind == GlobalKind::compiled_sum && parts.size() == 2) return sum_of_elements(parts[1], sink);
        throw OutsideNativeText{};
    }

    void element(const ElementLayout& layout, std::span<const std::uint32_t> arguments, TextExpression& sink) {
        if (arguments.size() != layout.rank()) throw OutsideNativeText{};
        index_values_.clear();
        for (const auto argument : arguments) {
            const auto value = number(argument);
            if (!value.integral) throw OutsideNativeText{};
            index_values_.push_back(value.integer);
        }
        const auto column = layout.column_of(index_values_);
        if (!column) throw OutsideNativeText{};
        sink.terms.append_term(*column, scaled_by_factors(1.0));
        sink.integral = sink.integral && real_factors_ == 0;
    }

    // The host's sum of the elements, from the integer 0.
    TextNumber sum_of_elements(std::uint32_t elements, TextExpression& sink) {
        const auto& node = tree_.node(elements);
        TextNumber constant = integer_number(0);
        if (node.kind == LinearNodeKind::list || node.kind == LinearNodeKind::tuple) {
            for (const auto part : tree_.children(elements)) constant = added(constant, linear(part, sink));
        } else if (node.kind == LinearNodeKind::comprehension) {
            const auto element = tree_.children(elements).front();
            for_each_binding(elements, [&] { constant = added(constant, linear(element, sink)); });
        } else {
            throw OutsideNativeText{};
        }
        return constant;
    }

    TextNumber number(std::uint32_t id) {
        if (headroom_.exhausted()) throw OutsideNativeText{};
        const auto& node = tree_.node(id);
        const auto parts = tree_.children(id);
        switch (node.kind) {
            case LinearNodeKind::integer:
                return integer_number(node.value);
            case LinearNodeKind::real:
                return real_number(real_value(node));
            case LinearNodeKind::name:
                for (auto local = locals_.rbegin(); local != locals_.rend(); ++local) {
                    if (local->first == node.value) return local->second;
                }
                throw OutsideNativeText{};
            case LinearNodeKind::subtracted:
            case LinearNodeKind::negated:
                return negated(number(parts[0]));
            case LinearNodeKind::sum: {
                TextNumber total = number(parts[0]);
                for (const auto part : parts.subspan(1)) {
                    total = added(total, number(part));
                }
                return total;
            }
            case LinearNodeKind::product:
                return multiplied(number(parts[0]), number(parts[1]));
            case LinearNodeKind::remainder:
                return integer_number(floor_division(number(parts[0]), number(parts[1])).second);
            case LinearNodeKind::floor_quotient:
                return integer_number(floor_division(number(parts[0]), number(parts[1])).first);
            default:
                throw OutsideNativeText{};
        }
    }

    [[nodiscard]] bool is_local(std::int64_t symbol) const {
        for (const auto& local : locals_) {
            if (local.first == symbol) return true;
        }
        return false;
    }

    // Calls body once per combination of the for clauses' values, the names
    // bound, the first clause outermost.
    // Type-erased callbacks: a comprehension inside an iterable would
    // otherwise instantiate these templates without end.
    using Body = CallableReference<void()>;
    using Item = CallableReference<void(TextNumber)>;

    void for_each_binding(std::uint32_t comprehension, const Body& body) {
        bind_clause(tree_.children(comprehension), 1, body);
    }

    void bind_clause(std::span<const std::uint32_t> parts, std::size_t clause, const Body& body) {
        if (clause >= parts.size()) {
            body();
            return;
        }
        const auto symbol = tree_.node(parts[clause]).value;
        for_each_item(parts[clause + 1], [&](TextNumber value) {
            locals_.emplace_back(symbol, value);
            bind_clause(parts, clause + 2, body);
            locals_.pop_back();
        });
    }

    // The items of an iterable: a range, a bound sequence, or a list, tuple or
    // comprehension, which is evaluated whole first, as the host does.
    void for_each_item(std::uint32_t iterable, const Item& item) {
        const auto& node = tree_.node(iterable);
        if (node.kind == LinearNodeKind::name && !is_local(node.value)) {
            const auto& global = globals_[static_cast<std::size_t>(node.value)];
            if (global.kind != GlobalKind::sequence) throw OutsideNativeText{};
            for (const auto& value : *global.sequence) item(value);
            return;
        }
        if (node.kind == LinearNodeKind::call) {
            const auto [start, stop, step] = range_arguments(iterable);
            if (step > 0) {
                for (std::int64_t value = start; value < stop; value += step) item(integer_number(value));
            } else {
                for (std::int64_t value = start; value > stop; value += step) item(integer_number(value));
            }
            return;
        }
        // The buffer of this nesting depth, kept from row to row; items may
        // read deeper iterables, which take the buffers after it.
        if (item_depth_ == item_buffers_.size()) item_buffers_.emplace_back();
        auto& values = item_buffers_[item_depth_];
        values.clear();
        const DepthStep deeper(item_depth_);
        if (node.kind == LinearNodeKind::list || node.kind == LinearNodeKind::tuple) {
            for (const auto part : tree_.children(iterable)) values.push_back(number(part));
        } else if (node.kind == LinearNodeKind::comprehension) {
            const auto element = tree_.children(iterable).front();
            for_each_binding(iterable, [&] { values.push_back(number(element)); });
        } else {
            throw OutsideNativeText{};
        }
        for (const auto& value : values) item(value);
    }

    // One nesting level more for as long as it lives.
    class DepthStep {
    public:
        explicit DepthStep(std::size_t& depth) : depth_(depth) { ++depth_; }
        DepthStep(const DepthStep&) = delete;
        DepthStep& operator=(const DepthStep&) = delete;
        ~DepthStep() { --depth_; }

    private:
        std::size_t& depth_;
    };

    struct RangeArguments {
        std::int64_t start;
        std::int64_t stop;
        std::int64_t step;
    };

    RangeArguments range_arguments(std::uint32_t call) {
        const auto parts = tree_.children(call);
        const auto& callee = tree_.node(parts[0]);
        if (callee.kind != LinearNodeKind::name || is_local(callee.value) ||
            globals_[static_cast<std::size_t>(callee.value)].kind != GlobalKind::range || parts.size() < 2 ||
            parts.size() > 4) {
            throw OutsideNativeText{};
        }
        std::int64_t values[3] = {0, 0, 1};
        for (std::size_t position = 1; position < parts.size(); ++position) {
            const auto value = number(parts[position]);
            if (!value.integral) throw OutsideNativeText{};
            values[position - 1] = value.integer;
        }
        if (parts.size() == 2) return {0, values[0], 1};
        // Steps are added up to the stop: keep the sum within 64 bits.
        if (values[2] == 0 || values[2] == INT64_MIN || values[1] > INT64_MAX - (values[2] > 0 ? values[2] : 0) ||
            values[1] < INT64_MIN - (values[2] < 0 ? values[2] : 0)) {
            throw OutsideNativeText{};
        }
        return {values[0], values[1], values[2]};
    }

    const LinearSyntaxTree& tree_;
    std::vector<Global> globals_;
    std::vector<std::uint8_t> has_terms_;
    std::vector<std::pair<std::int64_t, TextNumber>> locals_;
    std::vector<std::int64_t> index_values_;
    // The values of iterables evaluated whole, a buffer per nesting depth;
    // a deque, so that a deeper buffer added leaves the shallower in place.
    std::deque<std::vector<TextNumber>> item_buffers_;
    std::size_t item_depth_ = 0;
    // The factors around the node being read, the outermost first, and how
    // many of them are not integers.
    std::vector<double> factors_;
    std::size_t real_factors_ = 0;
    const kelvo::StackHeadroom& headroom_ = kelvo::StackHeadroom::of_this_thread();
};

}  // namespace

TextExpression evaluate_linear_expression(const LinearSyntaxTree& tree, const LinearTextNames& names) {
    return LinearTextEvaluator(tree, names).expression();
}

TextRows evaluate_linear_rows(const LinearSyntaxTree& tree, const LinearTextNames& names) {
    return LinearTextEvaluator(tree, names).rows();
}

}  // namespace vx

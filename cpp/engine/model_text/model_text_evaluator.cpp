#include "engine/model_text/model_text_evaluator.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "engine/bxpr/boolean_builders.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/reserved_names.hpp"

namespace kelvo::model_text {

namespace {

constexpr std::int64_t longest_range = 100'000'000;

template <typename T>
const T* as(const Value& value) {
    return std::get_if<T>(&value.content);
}

Value make(auto content) { return Value{std::move(content)}; }

bool is_number_like(const Value& value) {
    return as<std::int64_t>(value) || as<Affine>(value) || as<WideInteger>(value);
}

// A plain or wide integer, exactly; nullopt for anything else.
std::optional<ExactInteger> exact_of(const Value& value) {
    if (const auto* number = as<std::int64_t>(value)) return ExactInteger(*number);
    if (const auto* wide = as<WideInteger>(value)) return wide->value;
    return std::nullopt;
}

// An exact result: a plain integer when it fits in 64 bits.
Value integer_value(const ExactInteger& value) {
    if (const auto small = value.to_int64()) return Value{*small};
    return Value{WideInteger{value}};
}

// How an integer or a float is written in messages, as the host writes it.
std::string number_text(const Value& value) {
    if (const auto* number = as<std::int64_t>(value)) return std::to_string(*number);
    if (const auto* wide = as<WideInteger>(value)) return wide->value.to_string();
    if (const auto* real = as<FloatValue>(value)) return real->text;
    return "?";
}

bool is_term_like(const Value& value) {
    return as<Term>(value) || as<WeightedVariable>(value) || as<Occurrence>(value);
}

const std::unordered_map<std::string_view, Builtin>& builtin_names() {
    static const std::unordered_map<std::string_view, Builtin> names{
        {"bx", Builtin::bx},           {"pb", Builtin::pb},       {"FormulaPB", Builtin::formula_pb},
        {"Sum", Builtin::sum},         {"manager", Builtin::manager}, {"range", Builtin::range},
        {"np", Builtin::numpy},        {"numpy", Builtin::numpy}, {"array", Builtin::identity},
        {"list", Builtin::identity},   {"tuple", Builtin::identity}, {"int", Builtin::identity},
        {"nan", Builtin::not_a_number}, {"inf", Builtin::infinity},
    };
    return names;
}

std::string join_numbers(std::span<const std::int64_t> numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(numbers[i]);
    }
    return text;
}

}  // namespace

std::string_view kind_of(const Value& value) {
    static constexpr std::string_view names[] = {
        "a number",          "a list",      "a pseudo-Boolean sum", "a pseudo-Boolean sum", "a variable occurrence",
        "a Boolean formula", "a comparator", "a FormulaPB",         "a soft term",          "None",
        "a string",          "a builtin name", "an index expression", "a number",            "a float"};
    return names[value.content.index()];
}

NameTable::NameTable(const SyntaxTree& tree, std::span<const std::string> index_names,
                     const std::unordered_map<std::string, std::size_t>& variables_by_name)
    : meanings_(tree.symbols().size()) {
    for (std::size_t s = 0; s < meanings_.size(); ++s) {
        const std::string& name = tree.symbols()[s];
        Meaning& meaning = meanings_[s];
        for (std::size_t i = 0; i < index_names.size(); ++i) {
            if (index_names[i] == name) meaning = {Meaning::Kind::index, i};
        }
        if (meaning.kind != Meaning::Kind::unknown) continue;
        if (const auto found = variables_by_name.find(name); found != variables_by_name.end()) {
            meaning = {Meaning::Kind::variable, found->second};
        } else if (const auto builtin = builtin_names().find(name); builtin != builtin_names().end()) {
            meaning = {Meaning::Kind::builtin, static_cast<std::size_t>(builtin->second)};
        }
    }
}

bxpr::Ref InstanceContext::variable(std::int64_t number) {
    const auto [found, inserted] = references_.try_emplace(number);
    if (inserted) {
        std::string name = std::to_string(number);
        name.insert(name.begin(), '#');
        found->second = context.get_var(name);
        numbers_.emplace(found->second.node(), number);
    }
    return found->second;
}

bxpr::Ref InstanceContext::new_pbct_auxiliary() {
    const bxpr::Ref fresh = context.fresh_variable(pbct_auxiliary_prefix);
    pbct_indices_.emplace(fresh.node(), pbct_count_++);
    return fresh;
}

bxpr::Ref InstanceContext::new_comparison(Term term, Comparator comparator, std::int64_t bound) {
    const bxpr::Ref placeholder = context.fresh_variable("_comparison");
    placeholders_.emplace(placeholder.node(), comparisons.size());
    comparisons.push_back({placeholder, std::move(term), comparator, bound});
    return placeholder;
}

std::optional<std::int64_t> InstanceContext::model_number(bxpr::Ref variable) const {
    const auto found = numbers_.find(variable.node());
    if (found == numbers_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::int64_t> InstanceContext::pbct_index(bxpr::Ref variable) const {
    const auto found = pbct_indices_.find(variable.node());
    if (found == pbct_indices_.end()) return std::nullopt;
    return found->second;
}

Evaluator::Evaluator(const SyntaxTree& tree, const NameTable& names, std::span<const ModelVariable> variables,
                     const PBConfig& config)
    : tree_(tree), names_(names), variables_(variables), config_(config), locals_(tree.symbols().size()) {}

void Evaluator::fail_at(NodeId node, const std::string& problem) const {
    throw TextError(problem, tree_.text(), tree_.node(node).position);
}

void Evaluator::fail_on_kind_at(NodeId node, const std::string& problem) const {
    throw OperandKindError(TextError(problem, tree_.text(), tree_.node(node).position).what());
}

Value Evaluator::evaluate(std::span<const std::int64_t> index_values, InstanceContext* instance) {
    index_values_ = index_values;
    exact_index_values_ = nullptr;
    instance_ = instance;
    return evaluate_node(tree_.root());
}

Value Evaluator::evaluate_exactly(const std::vector<Value>& index_values, InstanceContext* instance) {
    exact_index_values_ = &index_values;
    instance_ = instance;
    struct Restore {
        const std::vector<Value>*& values;
        ~Restore() { values = nullptr; }
    } restore{exact_index_values_};
    return evaluate_node(tree_.root());
}

Value Evaluator::evaluate_template(std::size_t index_count, InstanceContext* instance, bool opaque) {
    std::vector<std::int64_t> slots(index_count, 0);
    index_values_ = slots;
    exact_index_values_ = nullptr;
    instance_ = instance;
    symbolic_ = true;
    opaque_ = opaque;
    index_count_ = index_count;
    opaque_slots_.clear();
    templates_.clear();
    template_ids_.clear();
    struct Restore {
        bool& symbolic;
        bool& opaque;
        ~Restore() { symbolic = opaque = false; }
    } restore{symbolic_, opaque_};
    return evaluate_node(tree_.root());
}

std::int64_t Evaluator::template_number(std::size_t occurrence, std::span<const std::int64_t> index_values) const {
    const TemplateOccurrence& cell = templates_[occurrence];
    const ModelVariable& variable = variables_[cell.variable];
    std::vector<std::int64_t> values(cell.forms.size());
    bool inside = true;
    for (std::size_t d = 0; d < cell.forms.size(); ++d) {
        const auto value = cell.forms[d].checked_at(index_values.data());
        if (!value) throw index_overflow_error(occurrence);
        values[d] = *value;
        inside = inside && *value >= 0 && *value < variable.sizes[d];
    }
    if (!inside) throw out_of_range_error(occurrence, values);
    std::int64_t number = variable.first;
    for (std::size_t d = 0; d < values.size(); ++d) number += values[d] * variable.strides[d];
    return number;
}

CellOutOfRange Evaluator::out_of_range_error(std::size_t occurrence, std::span<const std::int64_t> cell) const {
    const TemplateOccurrence& called = templates_[occurrence];
    const ModelVariable& variable = variables_[called.variable];
    return CellOutOfRange("index values (" + join_numbers(cell) + ") are out of range for variable " + variable.name +
                          " with sizes (" + join_numbers(variable.sizes) + ") at position " +
                          std::to_string(called.position) + ":\n" + excerpt_at(tree_.text(), called.position));
}

CellOutOfRange Evaluator::index_overflow_error(std::size_t occurrence) const {
    const TemplateOccurrence& called = templates_[occurrence];
    const ModelVariable& variable = variables_[called.variable];
    return CellOutOfRange("index values past 64 bits are out of range for variable " + variable.name +
                          " with sizes (" + join_numbers(variable.sizes) + ") at position " +
                          std::to_string(called.position) + ":\n" + excerpt_at(tree_.text(), called.position));
}

std::string occurrence_key(const TemplateOccurrence& occurrence) {
    std::string key = std::to_string(occurrence.variable);
    for (const auto& form : occurrence.forms) {
        key += ';';
        key += std::to_string(form.constant);
        for (const auto& [slot, coefficient] : form.terms) {
            key += ' ';
            key += std::to_string(slot);
            key += '*';
            key += std::to_string(coefficient);
        }
    }
    return key;
}

// A float is no index value, as the host's variable refuses it; an integer
// past 64 bits lies outside every variable.
void Evaluator::refuse_index_values_outside_64_bits(NodeId node, const ModelVariable& variable,
                                                     const std::vector<Value>& args) const {
    bool wide = false;
    for (const auto& arg : args) {
        if (as<FloatValue>(arg)) {
            fail_on_kind_at(node, "index value " + number_text(arg) + " of variable " + variable.name +
                                      " must be an int, not float");
        }
        wide = wide || as<WideInteger>(arg) != nullptr;
    }
    if (!wide) return;
    std::string shown;
    for (std::size_t d = 0; d < args.size(); ++d) {
        if (d > 0) shown += ',';
        shown += as<Affine>(args[d]) ? std::string("...") : number_text(args[d]);
    }
    throw CellOutOfRange("index values (" + shown + ") are out of range for variable " + variable.name +
                         " with sizes (" + join_numbers(variable.sizes) + ") at position " +
                         std::to_string(tree_.node(node).position) + ":\n" +
                         excerpt_at(tree_.text(), tree_.node(node).position));
}

Value Evaluator::template_occurrence(NodeId node, std::size_t variable_index, const std::vector<Value>& args) {
    const ModelVariable& variable = variables_[variable_index];
    if (args.size() != variable.sizes.size()) {
        fail_on_kind_at(node, "variable " + variable.name + " has " + std::to_string(variable.sizes.size()) +
                                  " dimension(s), but " + std::to_string(args.size()) + " index value(s) are given");
    }
    refuse_index_values_outside_64_bits(node, variable, args);
    TemplateOccurrence cell{variable_index, {}, tree_.node(node).position};
    for (const auto& arg : args) {
        if (const auto* form = as<Affine>(arg)) {
            cell.forms.push_back(*form);
        } else {
            cell.forms.push_back({integer(node, arg, "an index value"), {}});
        }
    }
    const auto [found, inserted] = template_ids_.try_emplace(occurrence_key(cell), templates_.size());
    if (inserted) templates_.push_back(std::move(cell));
    return make(Occurrence{-static_cast<std::int64_t>(found->second) - 1});
}

Value Evaluator::evaluate_node(NodeId node) {
    if (headroom_.exhausted()) fail_at(node, "the text nests deeper than the stack of this thread allows");
    try {
        return evaluate_kind(node);
    } catch (const ExactIntegerTooLarge& error) {
        // Read as text the engine cannot compute: the host's integers can.
        fail_at(node, std::string("the number is ") + error.what());
    }
}

Value Evaluator::evaluate_kind(NodeId node) {
    const Node& n = tree_.node(node);
    switch (n.kind) {
        case NodeKind::integer: return make(n.value);
        case NodeKind::wide_integer: return make(WideInteger{ExactInteger::from_decimal(tree_.string_value(n.value))});
        case NodeKind::decimal: return make(FloatValue{tree_.string_value(n.value)});
        case NodeKind::none: return make(NoneValue{});
        case NodeKind::name: return name_value(node);
        case NodeKind::string: return make(StringValue{tree_.string_value(n.value)});
        case NodeKind::attribute: return attribute(node);
        case NodeKind::call: return call(node);
        case NodeKind::starred: fail_at(node, "'*' unpacks only the arguments of a call");
        case NodeKind::list:
        case NodeKind::tuple: {
            ListValue list;
            list.items.reserve(n.count);
            for (const NodeId child : tree_.children(node)) list.items.push_back(evaluate_node(child));
            return make(std::move(list));
        }
        case NodeKind::comprehension: return comprehension(node);
        case NodeKind::sum: return sum(node);
        case NodeKind::negated: return negation(node);
        case NodeKind::positive: {
            Value operand = evaluate_node(tree_.children(node)[0]);
            if (is_number_like(operand) || is_term_like(operand)) return operand;
            fail_on_kind_at(node, "unary '+' needs a number or a pseudo-Boolean sum, not " +
                                      std::string(kind_of(operand)));
        }
        case NodeKind::invert: return inversion(node);
        case NodeKind::product: return product(node);
        case NodeKind::power: return power(node);
        case NodeKind::bit_and:
        case NodeKind::bit_or:
        case NodeKind::bit_xor: return connective(node);
        case NodeKind::dictionary: fail_at(node, "a dictionary is not an expression of the model text");
    }
    fail_at(node, "unreadable expression");
}

Value Evaluator::name_value(NodeId node) {
    const auto symbol = tree_.node(node).value;
    if (auto& local = locals_[static_cast<std::size_t>(symbol)]) return *local;
    const auto& meaning = names_.meaning(symbol);
    switch (meaning.kind) {
        case NameTable::Meaning::Kind::index:
            if (symbolic_) return make(Affine{0, {{meaning.slot, 1}}});
            if (exact_index_values_ != nullptr) return (*exact_index_values_)[meaning.slot];
            return make(index_values_[meaning.slot]);
        case NameTable::Meaning::Kind::builtin: {
            const auto builtin = static_cast<Builtin>(meaning.slot);
            if (builtin == Builtin::not_a_number) return make(FloatValue{"nan"});
            if (builtin == Builtin::infinity) return make(FloatValue{"inf"});
            return make(BuiltinValue{builtin});
        }
        case NameTable::Meaning::Kind::variable:
            fail_at(node, "variable " + tree_.symbol(symbol) + " must be called with its index values, as " +
                              tree_.symbol(symbol) + "(...)");
        case NameTable::Meaning::Kind::unknown: break;
    }
    fail_at(node, "unknown name '" + tree_.symbol(symbol) +
                      "': it is neither a variable of the model nor an index with a range in the foralls");
}

namespace {

std::int64_t checked_add(std::int64_t a, std::int64_t b, bool& overflow) {
    std::int64_t result = 0;
    overflow = overflow || __builtin_add_overflow(a, b, &result);
    return result;
}

std::int64_t checked_multiply(std::int64_t a, std::int64_t b, bool& overflow) {
    std::int64_t result = 0;
    overflow = overflow || __builtin_mul_overflow(a, b, &result);
    return result;
}

Affine affine_of(const Value& value) {
    if (const auto* form = std::get_if<Affine>(&value.content)) return *form;
    return {std::get<std::int64_t>(value.content), {}};
}

Value value_of(Affine form) {
    std::erase_if(form.terms, [](const auto& term) { return term.second == 0; });
    if (form.terms.empty()) return make(form.constant);
    return make(std::move(form));
}

Affine scaled(Affine form, std::int64_t factor, bool& overflow) {
    form.constant = checked_multiply(form.constant, factor, overflow);
    for (auto& term : form.terms) term.second = checked_multiply(term.second, factor, overflow);
    return form;
}

Affine added(const Affine& a, const Affine& b, bool& overflow) {
    Affine sum{checked_add(a.constant, b.constant, overflow), a.terms};
    for (const auto& [slot, coefficient] : b.terms) {
        auto found = std::find_if(sum.terms.begin(), sum.terms.end(), [slot](const auto& t) { return t.first == slot; });
        if (found == sum.terms.end()) {
            sum.terms.emplace_back(slot, coefficient);
        } else {
            found->second = checked_add(found->second, coefficient, overflow);
        }
    }
    std::sort(sum.terms.begin(), sum.terms.end());
    return sum;
}

}  // namespace

Value Evaluator::sum(NodeId node) {
    const auto children = tree_.children(node);
    std::optional<Affine> number;
    std::optional<ExactInteger> exact;  // once the numbers' sum passes 64 bits
    Term total;
    bool saw_term = false;
    bool overflow = false;
    bool opaque_operand = false;
    for (const NodeId child : children) {
        const bool subtracted = tree_.node(child).kind == NodeKind::negated;
        Value operand = evaluate_node(subtracted ? tree_.children(child)[0] : child);
        if (is_number_like(operand)) {
            if (saw_term) fail_at(child, "a number cannot be added to a pseudo-Boolean sum (terms have no constant)");
            opaque_operand = opaque_operand || is_opaque(operand);
            if (!exact && !as<WideInteger>(operand)) {
                bool past = false;
                const Affine part = subtracted ? scaled(affine_of(operand), -1, past) : affine_of(operand);
                Affine next = number ? added(*number, part, past) : part;
                if (!past) {
                    number = std::move(next);
                    continue;
                }
            }
            // Past 64 bits: exact, which an index expression is only per instance.
            if (as<Affine>(operand) || (number && !number->terms.empty())) return index_expression(node);
            if (!exact) exact = ExactInteger(number ? number->constant : 0);
            const ExactInteger value = *exact_of(operand);
            exact = subtracted ? *exact - value : *exact + value;
            number = Affine{};
            continue;
        }
        if (number) fail_at(child, "a pseudo-Boolean sum cannot be added to a number (terms have no constant)");
        saw_term = true;
        Term part = term(child, std::move(operand), "an operand of '+' or '-'");
        for (auto& item : part.items) {
            if (subtracted) item.coefficient = checked_multiply(-1, item.coefficient, overflow);
            total.items.push_back(item);
        }
    }
    if (overflow) fail_at(node, "integer overflow in the sum");
    if (opaque_operand) return index_expression(node);
    if (exact) return integer_value(*exact);
    if (number) return value_of(std::move(*number));
    return make(std::move(total));
}

Value Evaluator::negation(NodeId node) {
    Value operand = evaluate_node(tree_.children(node)[0]);
    bool overflow = false;
    if (is_opaque(operand)) return index_expression(node);
    if (const auto exact = exact_of(operand)) return integer_value(-*exact);
    if (const auto* real = as<FloatValue>(operand)) {
        // As the host prints the negated float: -inf, and nan unsigned.
        if (real->text == "nan") return operand;
        return make(FloatValue{real->text.starts_with('-') ? real->text.substr(1) : "-" + real->text});
    }
    if (is_number_like(operand)) {
        Value negated = value_of(scaled(affine_of(operand), -1, overflow));
        if (overflow) return index_expression(node);
        return negated;
    }
    Term negated = term(node, std::move(operand), "the operand of unary '-'");
    for (auto& item : negated.items) item.coefficient = checked_multiply(-1, item.coefficient, overflow);
    if (overflow) fail_at(node, "integer overflow");
    return make(std::move(negated));
}

Value Evaluator::product(NodeId node) {
    const auto children = tree_.children(node);
    Value left = evaluate_node(children[0]);
    Value right = evaluate_node(children[1]);
    bool overflow = false;
    if ((is_opaque(left) || is_opaque(right)) && is_number_like(left) && is_number_like(right)) {
        return index_expression(node);
    }
    if ((as<Affine>(left) && as<std::int64_t>(right)) || (as<std::int64_t>(left) && as<Affine>(right))) {
        const bool left_form = as<Affine>(left) != nullptr;
        Value product = value_of(scaled(affine_of(left_form ? left : right),
                                        std::get<std::int64_t>((left_form ? right : left).content), overflow));
        if (overflow) return index_expression(node);  // computed exactly per instance
        return product;
    }
    if (is_number_like(left) && is_number_like(right) && (as<Affine>(left) || as<Affine>(right))) {
        return index_expression(node);
    }
    if (as<Affine>(left) || as<Affine>(right)) throw NeedsInstances{};
    const auto* left_number = as<std::int64_t>(left);
    const auto* right_number = as<std::int64_t>(right);
    if (left_number && right_number) {
        const auto product = checked_multiply(*left_number, *right_number, overflow);
        if (overflow) return exact_product(node, ExactInteger(*left_number), ExactInteger(*right_number));
        return make(product);
    }
    const auto left_exact = exact_of(left);
    const auto right_exact = exact_of(right);
    if (left_exact && right_exact) return exact_product(node, *left_exact, *right_exact);
    if (as<WideInteger>(left) || as<WideInteger>(right)) {
        fail_at(node, "the coefficient " + number_text(as<WideInteger>(left) ? left : right) +
                          " is out of the 64-bit range");
    }
    if (!left_number && !right_number) {
        fail_on_kind_at(node, "a product needs a number on one side, not " + std::string(kind_of(left)) + " and " +
                                  std::string(kind_of(right)));
    }
    const std::int64_t factor = left_number ? *left_number : *right_number;
    Term scaled = term(node, left_number ? std::move(right) : std::move(left), "a factor of '*'");
    for (auto& item : scaled.items) item.coefficient = checked_multiply(factor, item.coefficient, overflow);
    if (overflow) fail_at(node, "integer overflow in a coefficient");
    return make(std::move(scaled));
}

Value Evaluator::power(NodeId node) {
    const auto children = tree_.children(node);
    const Value base_value = evaluate_node(children[0]);
    const Value exponent_value = evaluate_node(children[1]);
    if (is_number_like(base_value) && is_number_like(exponent_value) &&
        (as<Affine>(base_value) || as<Affine>(exponent_value))) {
        return index_expression(node);
    }
    const auto exponent = integer(children[1], exponent_value, "the exponent of '**'");
    if (exponent < 0) fail_at(node, "a negative exponent gives no integer");
    if (const auto* wide = as<WideInteger>(base_value)) return exact_power(node, wide->value, exponent);
    const auto base = integer(children[0], base_value, "the base of '**'");
    std::int64_t result = 1;
    bool overflow = false;
    for (std::int64_t e = 0; e < exponent && !overflow; ++e) {
        result = checked_multiply(result, base, overflow);
        if (result == 0 || result == 1) break;
        if (result == -1) {
            result = (exponent % 2 == 0) ? 1 : -1;
            break;
        }
    }
    if (overflow) return exact_power(node, ExactInteger(base), exponent);
    return make(result);
}

// An index expression that is no affine form of the indexes: read per
// instance, or, while the template is only looked at, one opaque symbol per
// spelling, as the host names such a cell by its text as written; arithmetic
// on an opaque symbol is another one, of the whole expression's spelling.
bool Evaluator::is_opaque(const Value& value) const {
    const auto* form = as<Affine>(value);
    return opaque_ && form != nullptr &&
           std::any_of(form->terms.begin(), form->terms.end(), [this](const auto& t) { return t.first >= index_count_; });
}

Value Evaluator::index_expression(NodeId node) {
    if (!opaque_) throw NeedsInstances{};
    const auto [found, inserted] = opaque_slots_.try_emplace(spelling_of(node), index_count_ + opaque_slots_.size());
    return make(Affine{0, {{found->second, 1}}});
}

std::string Evaluator::spelling_of(NodeId node) const {
    const Node& n = tree_.node(node);
    std::string spelling = std::to_string(static_cast<int>(n.kind)) + ':';
    if (n.kind == NodeKind::name) {
        spelling += tree_.symbol(n.value);
    } else if (n.kind == NodeKind::wide_integer || n.kind == NodeKind::decimal || n.kind == NodeKind::string) {
        spelling += tree_.string_value(n.value);
    } else {
        spelling += std::to_string(n.value);
    }
    spelling += '(';
    for (const NodeId child : tree_.children(node)) spelling += spelling_of(child) + ',';
    return spelling + ')';
}

Value Evaluator::exact_product(NodeId node, const ExactInteger& left, const ExactInteger& right) const {
    try {
        return integer_value(left * right);
    } catch (const ExactIntegerTooLarge& error) {
        fail_at(node, std::string("the product is ") + error.what());
    }
}

Value Evaluator::exact_power(NodeId node, const ExactInteger& base, std::int64_t exponent) const {
    try {
        return integer_value(base.power(static_cast<std::uint64_t>(exponent)));
    } catch (const ExactIntegerTooLarge& error) {
        fail_at(node, std::string("the power is ") + error.what());
    }
}

Value Evaluator::connective(NodeId node) {
    const auto kind = tree_.node(node).kind;
    const auto children = tree_.children(node);
    Value left = evaluate_node(children[0]);
    Value right = evaluate_node(children[1]);
    const auto* a = as<std::int64_t>(left);
    const auto* b = as<std::int64_t>(right);
    if (is_number_like(left) && is_number_like(right) && (as<Affine>(left) || as<Affine>(right))) {
        return index_expression(node);
    }
    if (as<Affine>(left) || as<Affine>(right)) throw NeedsInstances{};
    if (a && b) return make(kind == NodeKind::bit_and ? (*a & *b) : kind == NodeKind::bit_or ? (*a | *b) : (*a ^ *b));
    if (const auto x = exact_of(left), y = exact_of(right); x && y) {
        return integer_value(kind == NodeKind::bit_and ? (*x & *y) : kind == NodeKind::bit_or ? (*x | *y) : (*x ^ *y));
    }
    const bxpr::Ref operands[] = {formula(children[0], left, "an operand of a connective"),
                                  formula(children[1], right, "an operand of a connective")};
    auto& context = instance(node).context;
    if (kind == NodeKind::bit_and) return make(FormulaValue{bxpr::and_s(context, operands)});
    if (kind == NodeKind::bit_or) return make(FormulaValue{bxpr::or_s(context, operands)});
    return make(FormulaValue{bxpr::xor_s(context, operands)});
}

Value Evaluator::inversion(NodeId node) {
    const NodeId child = tree_.children(node)[0];
    Value operand = evaluate_node(child);
    if (const auto* value = as<std::int64_t>(operand)) return make(~*value);
    if (const auto* wide = as<WideInteger>(operand)) return integer_value(~wide->value);
    if (as<Affine>(operand)) return index_expression(node);
    return make(FormulaValue{~formula(child, operand, "the operand of '~'")});
}

Value Evaluator::attribute(NodeId node) {
    const NodeId object_node = tree_.children(node)[0];
    Value object = evaluate_node(object_node);
    const std::string& name = tree_.symbol(tree_.node(node).value);
    if (const auto* builtin = as<BuiltinValue>(object)) {
        if (builtin->builtin == Builtin::pb && name == "Comparator_type") return make(BuiltinValue{Builtin::comparator_type});
        if (builtin->builtin == Builtin::comparator_type) {
            if (name == "LEQ") return make(ComparatorValue{Comparator::at_most});
            if (name == "GEQ") return make(ComparatorValue{Comparator::at_least});
            if (name == "BOTH") return make(ComparatorValue{Comparator::both});
            fail_at(node, "pb.Comparator_type has LEQ, GEQ and BOTH, not " + name);
        }
        if (builtin->builtin == Builtin::numpy) return make(BuiltinValue{Builtin::identity});
    }
    fail_at(node, std::string(kind_of(object)) + " has no attribute '" + name + "' here");
}

std::vector<Value> Evaluator::arguments(NodeId call_node) {
    const auto children = tree_.children(call_node);
    std::vector<Value> values;
    values.reserve(children.size() - 1);
    for (std::size_t i = 1; i < children.size(); ++i) {
        const NodeId child = children[i];
        if (tree_.node(child).kind != NodeKind::starred) {
            values.push_back(evaluate_node(child));
            continue;
        }
        const NodeId inner = tree_.children(child)[0];
        for (auto& item : items(inner, evaluate_node(inner), "the operand of '*'")) values.push_back(std::move(item));
    }
    return values;
}

Value Evaluator::call(NodeId node) {
    const NodeId callee = tree_.children(node)[0];
    const Node& callee_node = tree_.node(callee);
    if (callee_node.kind == NodeKind::attribute) {
        const NodeId object_node = tree_.children(callee)[0];
        Value object = evaluate_node(object_node);
        if (const auto* builtin = as<BuiltinValue>(object); builtin && builtin->builtin == Builtin::numpy) {
            return call_builtin(node, Builtin::identity, arguments(node));
        }
        return call_method(node, std::move(object), tree_.symbol(callee_node.value), arguments(node));
    }
    if (callee_node.kind == NodeKind::name && !locals_[static_cast<std::size_t>(callee_node.value)]) {
        const auto& meaning = names_.meaning(callee_node.value);
        if (meaning.kind == NameTable::Meaning::Kind::variable) {
            auto args = arguments(node);
            if (symbolic_ && std::any_of(args.begin(), args.end(), [](const Value& v) { return as<Affine>(v) != nullptr; })) {
                return template_occurrence(node, meaning.slot, args);
            }
            return occurrence(node, variables_[meaning.slot], args);
        }
    }
    Value function = evaluate_node(callee);
    const auto* builtin = as<BuiltinValue>(function);
    if (!builtin) fail_at(node, std::string(kind_of(function)) + " cannot be called");
    return call_builtin(node, builtin->builtin, arguments(node));
}

Value Evaluator::occurrence(NodeId node, const ModelVariable& variable, const std::vector<Value>& args) {
    if (args.size() != variable.sizes.size()) {
        fail_on_kind_at(node, "variable " + variable.name + " has " + std::to_string(variable.sizes.size()) +
                                  " dimension(s), but " + std::to_string(args.size()) + " index value(s) are given");
    }
    refuse_index_values_outside_64_bits(node, variable, args);
    std::vector<std::int64_t> values(args.size());
    std::int64_t number = variable.first;
    bool inside = true;
    for (std::size_t d = 0; d < args.size(); ++d) {
        values[d] = integer(node, args[d], "an index value");
        inside = inside && values[d] >= 0 && values[d] < variable.sizes[d];
        number += values[d] * variable.strides[d];
    }
    if (!inside) {
        throw CellOutOfRange("index values (" + join_numbers(values) + ") are out of range for variable " +
                                variable.name + " with sizes (" + join_numbers(variable.sizes) + ") at position " +
                                std::to_string(tree_.node(node).position) + ":\n" +
                                excerpt_at(tree_.text(), tree_.node(node).position));
    }
    return make(Occurrence{number});
}

Value Evaluator::range(NodeId node, const std::vector<Value>& args) {
    if (args.empty() || args.size() > 3) {
        fail_at(node, "range takes 1 to 3 arguments, got " + std::to_string(args.size()));
    }
    if (std::any_of(args.begin(), args.end(), [](const Value& arg) { return as<WideInteger>(arg) != nullptr; })) {
        return wide_range(node, args);
    }
    std::int64_t start = 0;
    std::int64_t step = 1;
    std::int64_t stop = 0;
    if (args.size() == 1) {
        stop = integer(node, args[0], "the end of a range");
    } else {
        start = integer(node, args[0], "the start of a range");
        stop = integer(node, args[1], "the end of a range");
        if (args.size() == 3) step = integer(node, args[2], "the step of a range");
    }
    if (step == 0) fail_at(node, "the step of a range must not be zero");
    const __int128 span = step > 0 ? static_cast<__int128>(stop) - start : static_cast<__int128>(start) - stop;
    const __int128 magnitude = step > 0 ? step : -static_cast<__int128>(step);
    const __int128 length = span <= 0 ? 0 : (span + magnitude - 1) / magnitude;
    if (length > longest_range) fail_at(node, "a range of more than " + std::to_string(longest_range) + " values");
    ListValue list;
    list.items.reserve(static_cast<std::size_t>(length));
    for (__int128 i = 0; i < length; ++i) list.items.push_back(make(static_cast<std::int64_t>(start + i * step)));
    return make(std::move(list));
}

// A range whose bounds pass 64 bits, value by value, as long as the others.
Value Evaluator::wide_range(NodeId node, const std::vector<Value>& args) const {
    const auto exact = [&](std::size_t a, std::string_view role) {
        if (auto value = exact_of(args[a])) return *value;
        return ExactInteger(integer(node, args[a], role));  // refuses it
    };
    ExactInteger start;
    ExactInteger stop;
    ExactInteger step(1);
    if (args.size() == 1) {
        stop = exact(0, "the end of a range");
    } else {
        start = exact(0, "the start of a range");
        stop = exact(1, "the end of a range");
        if (args.size() == 3) step = exact(2, "the step of a range");
    }
    if (step == ExactInteger()) fail_at(node, "the step of a range must not be zero");
    const bool upwards = !step.is_negative();
    ListValue list;
    for (ExactInteger value = start; (upwards ? value - stop : stop - value).is_negative(); value = value + step) {
        if (list.items.size() == longest_range) {
            fail_at(node, "a range of more than " + std::to_string(longest_range) + " values");
        }
        list.items.push_back(integer_value(value));
    }
    return Value{std::move(list)};
}

Value Evaluator::call_builtin(NodeId node, Builtin builtin, std::vector<Value> args) {
    switch (builtin) {
        case Builtin::range: return range(node, args);
        case Builtin::identity:
            if (args.size() != 1) fail_at(node, "this conversion takes one argument");
            return std::move(args[0]);
        case Builtin::sum: {
            Term total;
            for (std::size_t i = 0; i < args.size(); ++i) {
                const Term part = term(node, std::move(args[i]), "a member of Sum");
                total.items.insert(total.items.end(), part.items.begin(), part.items.end());
            }
            return make(std::move(total));
        }
        case Builtin::formula_pb: {
            if (args.size() < 2 || args.size() > 3) {
                fail_at(node, "FormulaPB takes a term, a comparator and a bound, got " + std::to_string(args.size()) +
                                  " argument(s)");
            }
            FormulaPbValue formula{term(node, std::move(args[0]), "the term of FormulaPB"), std::nullopt, std::nullopt};
            if (const auto* comparator = as<ComparatorValue>(args[1])) {
                formula.comparator = comparator->comparator;
            } else if (!as<NoneValue>(args[1])) {
                fail_at(node, "the comparator of FormulaPB must be pb.Comparator_type.LEQ, GEQ or BOTH, or None");
            }
            if (args.size() == 3 && !as<NoneValue>(args[2])) formula.bound = integer(node, args[2], "the bound");
            if (formula.comparator && !formula.bound) fail_at(node, "a comparison needs an integer bound");
            return make(std::move(formula));
        }
        default: break;
    }
    fail_at(node, "this name cannot be called");
}

Value Evaluator::call_method(NodeId node, Value object, const std::string& method, std::vector<Value> args) {
    if (const auto* builtin = as<BuiltinValue>(object); builtin && builtin->builtin == Builtin::bx) {
        return call_bx(node, method, std::move(args));
    }
    if (method == "to_pb") {
        if (!args.empty()) fail_at(node, "to_pb takes no argument");
        if (is_term_like(object)) return object;
    } else if (method == "to_bx") {
        if (const auto* formula_pb = as<FormulaPbValue>(object)) return encode_comparison(node, *formula_pb);
        if (!args.empty()) fail_at(node, "to_bx of a variable takes no argument");
        if (as<Occurrence>(object) || as<FormulaValue>(object)) return make(FormulaValue{formula(node, object, "")});
    } else if (method == "to_maxsat") {
        if (const auto* formula_pb = as<FormulaPbValue>(object)) {
            if (args.size() != 2) fail_at(node, "to_maxsat takes the manager and the minimisation flag");
            const bool minimization = as<NoneValue>(args[1]) ? false : integer(node, args[1], "the minimisation flag") != 0;
            return make(SoftTerm{formula_pb->term, minimization});
        }
    }
    fail_at(node, std::string(kind_of(object)) + " has no method '" + method + "'");
}

Value Evaluator::call_bx(NodeId node, const std::string& function, std::vector<Value> args) {
    auto& context = instance(node).context;
    const auto count = [&](std::size_t expected) {
        if (args.size() != expected) {
            fail_at(node, "bx." + function + " takes " + std::to_string(expected) + " argument(s), got " +
                              std::to_string(args.size()));
        }
    };
    if (function == "one" || function == "zero") {
        count(0);
        return make(FormulaValue{function == "one" ? bxpr::Ref::one() : bxpr::Ref::zero()});
    }
    if (function == "impl_s") {
        count(2);
        return make(FormulaValue{bxpr::impl_s(context, formula(node, args[0], "the premise of impl_s"),
                                              formula(node, args[1], "the conclusion of impl_s"))});
    }
    if (function == "ite_s") {
        count(3);
        return make(FormulaValue{bxpr::ite_s(context, formula(node, args[0], "the condition of ite_s"),
                                             formula(node, args[1], "the then-branch of ite_s"),
                                             formula(node, args[2], "the else-branch of ite_s"))});
    }
    using ListBuilder = bxpr::Ref (*)(bxpr::Context&, std::span<const bxpr::Ref>);
    ListBuilder builder = nullptr;
    if (function == "and_s") builder = &bxpr::and_s;
    else if (function == "or_s") builder = &bxpr::or_s;
    else if (function == "xor_s") builder = &bxpr::xor_s;
    else if (function == "eq_s") builder = &bxpr::eq_s;
    else if (function == "and_") builder = &bxpr::and_exact;
    if (builder == nullptr) fail_at(node, "bx has no function '" + function + "' in the model text");
    count(1);
    const auto members = items(node, std::move(args[0]), "the list of bx." + function);
    std::vector<bxpr::Ref> refs;
    refs.reserve(members.size());
    for (const auto& member : members) refs.push_back(formula(node, member, "a member of bx." + function));
    return make(FormulaValue{builder(context, refs)});
}

Value Evaluator::encode_comparison(NodeId node, const FormulaPbValue& formula_pb) {
    if (!formula_pb.comparator) fail_at(node, "to_bx needs a FormulaPB with a comparator and a bound");
    return make(FormulaValue{instance(node).new_comparison(formula_pb.term, *formula_pb.comparator, *formula_pb.bound)});
}

Value Evaluator::comprehension(NodeId node) {
    ListValue list;
    expand_comprehension(node, 0, list.items);
    return make(std::move(list));
}

void Evaluator::expand_comprehension(NodeId node, std::size_t clause, std::vector<Value>& out) {
    const auto children = tree_.children(node);
    const std::size_t clauses = (children.size() - 1) / 2;
    if (clause == clauses) {
        out.push_back(evaluate_node(children[0]));
        return;
    }
    const NodeId target = children[1 + 2 * clause];
    const NodeId iterable = children[2 + 2 * clause];
    auto values = items(iterable, evaluate_node(iterable), "the sequence of a for-clause");
    auto& local = locals_[static_cast<std::size_t>(tree_.node(target).value)];
    std::optional<Value> saved = std::move(local);
    for (auto& value : values) {
        local = std::move(value);
        expand_comprehension(node, clause + 1, out);
    }
    local = std::move(saved);
}

InstanceContext& Evaluator::instance(NodeId node) {
    if (instance_ == nullptr) fail_at(node, "a Boolean formula is not expected in this text");
    return *instance_;
}

std::int64_t Evaluator::integer(NodeId node, const Value& value, std::string_view role) const {
    if (const auto* number = as<std::int64_t>(value)) return *number;
    if (as<Affine>(value)) throw NeedsInstances{};
    if (as<WideInteger>(value)) fail_at(node, std::string(role) + " " + number_text(value) + " is out of the 64-bit range");
    if (as<FloatValue>(value)) {
        fail_on_kind_at(node, std::string(role) + " must be an integer, not the float " + number_text(value));
    }
    fail_at(node, std::string(role) + " must be an integer, not " + std::string(kind_of(value)));
}

Term Evaluator::term(NodeId node, Value value, std::string_view role) const {
    if (as<Affine>(value)) throw NeedsInstances{};
    if (auto* whole = std::get_if<Term>(&value.content)) return std::move(*whole);
    if (const auto* single = as<WeightedVariable>(value)) return Term{{*single}};
    if (const auto* cell = as<Occurrence>(value)) return Term{{{cell->number, 1}}};
    fail_on_kind_at(node, std::string(role) + " must be a pseudo-Boolean term, not " + std::string(kind_of(value)));
}

bxpr::Ref Evaluator::formula(NodeId node, const Value& value, std::string_view role) {
    if (as<Affine>(value)) throw NeedsInstances{};
    if (const auto* formula_value = as<FormulaValue>(value)) return formula_value->ref;
    if (const auto* cell = as<Occurrence>(value)) return instance(node).variable(cell->number);
    fail_on_kind_at(node, std::string(role) + " must be a Boolean formula, not " + std::string(kind_of(value)));
}

std::vector<Value> Evaluator::items(NodeId node, Value value, std::string_view role) const {
    if (as<Affine>(value)) throw NeedsInstances{};
    if (auto* list = std::get_if<ListValue>(&value.content)) return std::move(list->items);
    fail_at(node, std::string(role) + " must be a list, a tuple or a range, not " + std::string(kind_of(value)));
}

void check_names(const SyntaxTree& tree, const NameTable& names) {
    std::vector<bool> bound(tree.symbols().size(), false);
    for (NodeId id = 0; id < tree.size(); ++id) {
        if (tree.node(id).kind != NodeKind::comprehension) continue;
        const auto children = tree.children(id);
        for (std::size_t i = 1; i < children.size(); i += 2) bound[static_cast<std::size_t>(tree.node(children[i]).value)] = true;
    }
    for (NodeId id = 0; id < tree.size(); ++id) {
        const Node& node = tree.node(id);
        if (node.kind != NodeKind::name || bound[static_cast<std::size_t>(node.value)]) continue;
        if (names.meaning(node.value).kind == NameTable::Meaning::Kind::unknown) {
            throw TextError("unknown name '" + tree.symbol(node.value) +
                                "': it is neither a variable of the model nor an index with a range in the foralls",
                            tree.text(), node.position);
        }
    }
}

std::vector<Value> integers_of(const Evaluator& evaluator, NodeId node, const Value& value) {
    const auto* list = std::get_if<ListValue>(&value.content);
    if (list == nullptr) {
        evaluator.fail_at(node, "the values of an index must be a range, a list or a tuple of integers, not " +
                                    std::string(kind_of(value)));
    }
    std::vector<Value> numbers;
    numbers.reserve(list->items.size());
    for (const auto& item : list->items) {
        if (!as<std::int64_t>(item) && !as<WideInteger>(item)) {
            evaluator.fail_at(node, "the values of an index must be integers, not " + std::string(kind_of(item)));
        }
        numbers.push_back(item);
    }
    return numbers;
}

}  // namespace kelvo::model_text

#include "engine/model_text/formula_encoder.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "engine/bxpr/boolean_expression.hpp"
#include "engine/instantiation/template_instantiator.hpp"
#include "engine/model_text/foralls_text.hpp"
#include "engine/support/log.hpp"
#include "engine/model_text/model_text_values.hpp"
#include "engine/model_text/model_text_parser.hpp"
#include "engine/model_text/text_refusals.hpp"
#include "engine/model_text/model_text_tokenizer.hpp"
#include "engine/support/instance_order.hpp"
#include "engine/support/text_characters.hpp"

namespace kelvo {

using model_text::InstanceContext;
using model_text::Value;

namespace {

constexpr std::string_view bxpr_prefix = bxpr_auxiliary_prefix;
constexpr std::string_view pbct_prefix = pbct_auxiliary_prefix;
constexpr std::int64_t largest_literal = std::numeric_limits<Literal>::max();
constexpr Weight largest_weight_limit = std::numeric_limits<std::int64_t>::max();

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Names a model variable cannot take because the text would mean something
// else by them: the names the modelling layer's text relies on, and the
// words and constants the reader takes as such. A variable shadows every
// other name the reader knows (np, array, int, ...), as it does on the host.
bool is_reserved(std::string_view name) {
    return is_text_name(name) || text::is_keyword(name) || has_auxiliary_prefix(name);
}

std::string instance_text(const std::vector<model_text::IndexRange>& ranges, std::span<const std::int64_t> values) {
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        text += i > 0 ? ", " : " for ";
        text += ranges[i].name;
        text += '=';
        text += std::to_string(values[i]);
    }
    return text;
}

// The instance's values exactly, for ranges of which one passes 64 bits.
std::vector<Value> exact_values_at(const std::vector<model_text::IndexRange>& ranges,
                                   std::span<const std::size_t> positions) {
    std::vector<Value> values;
    values.reserve(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (!ranges[i].passes_64_bits()) {
            values.push_back(Value{ranges[i].values[positions[i]]});
        } else if (const auto small = ranges[i].exact_values[positions[i]].to_int64()) {
            values.push_back(Value{*small});
        } else {
            values.push_back(Value{model_text::WideInteger{ranges[i].exact_values[positions[i]]}});
        }
    }
    return values;
}

std::string exact_instance_text(const std::vector<model_text::IndexRange>& ranges,
                                std::span<const std::size_t> positions) {
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        text += i > 0 ? ", " : " for ";
        text += ranges[i].name;
        text += '=';
        text += ranges[i].passes_64_bits() ? ranges[i].exact_values[positions[i]].to_string()
                                           : std::to_string(ranges[i].values[positions[i]]);
    }
    return text;
}

std::vector<std::size_t> lengths_of(const std::vector<model_text::IndexRange>& ranges) {
    std::vector<std::size_t> lengths(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i) lengths[i] = ranges[i].values.size();
    return lengths;
}

std::vector<std::vector<std::int64_t>> values_of(const std::vector<model_text::IndexRange>& ranges) {
    std::vector<std::vector<std::int64_t>> values;
    values.reserve(ranges.size());
    for (const auto& range : ranges) values.push_back(range.values);
    return values;
}

std::overflow_error literals_exhausted() {
    return std::overflow_error("the encoding needs more than 2^31 - 1 variables");
}

// The instantiator's failure as this encoder words it: an occurrence's as the
// evaluator words its cells, named by the text (none fails without one).
[[noreturn]] void throw_worded(const InstantiationFailure& failure, const model_text::Evaluator* evaluator) {
    switch (failure.reason) {
        case InstantiationFailure::Reason::cell_out_of_range:
            if (evaluator) throw evaluator->out_of_range_error(failure.literal, failure.cell);
            break;
        case InstantiationFailure::Reason::index_overflow:
            if (evaluator) throw evaluator->index_overflow_error(failure.literal);
            break;
        case InstantiationFailure::Reason::numbers_exhausted: throw literals_exhausted();
    }
    throw failure;
}

// A constraint is a contradiction when its text, read with its indexes
// symbolic, is constant false, whatever its foralls hold: the clause-assembly
// road refuses the same template, once, before any instance.
[[noreturn]] void refuse_contradiction() {
    throw std::invalid_argument("Contradiction was detected: the constraint cannot hold");
}

TemplateClauses holding_clauses_of(const Value& value, InstanceContext& instance, const PBConfig& config) {
    auto clauses = hard_clauses_of(value, instance, config);
    if (!clauses) refuse_contradiction();
    return std::move(*clauses);
}

// A constraint read instance by instance, or without instances, is still
// refused when its template never holds: the template with each index
// expression that is no affine form standing for its spelling, as the host
// names a cell by its text.
void refuse_a_template_that_never_holds(model_text::Evaluator& evaluator, std::size_t index_count,
                                        const PBConfig& config) {
    InstanceContext instance;
    try {
        const Value value = evaluator.evaluate_template(index_count, &instance, true);
        if (!hard_clauses_of(value, instance, config)) refuse_contradiction();
    } catch (const model_text::NeedsInstances&) {
        // A range, a bound or a coefficient depends on the values: no template to look at.
    }
}

// The term of a soft constraint, and its direction when the text gives one.
model_text::Term soft_term_of(const Value& value, bool& minimization) {
    if (const auto* soft_term = std::get_if<model_text::SoftTerm>(&value.content)) {
        minimization = soft_term->minimization;
        return soft_term->term;
    }
    if (const auto* whole = std::get_if<model_text::Term>(&value.content)) return *whole;
    if (const auto* single = std::get_if<model_text::WeightedVariable>(&value.content)) return {{*single}};
    if (const auto* cell = std::get_if<model_text::Occurrence>(&value.content)) return {{{cell->number, 1}}};
    throw std::invalid_argument("a soft constraint must be a pseudo-Boolean sum, not " +
                                std::string(model_text::kind_of(value)));
}

// One weighted unit literal per term entry; an entry that weighs nothing is dropped.
template <typename Resolve>
void append_soft(const model_text::Term& term, bool minimization, std::int64_t weight, const Resolve& resolve,
                 ClauseBuffer& clauses, std::vector<Weight>& weights) {
    for (const auto& item : term.items) {
        std::int64_t coefficient = 0;
        if (__builtin_mul_overflow(weight, item.coefficient, &coefficient)) {
            throw std::overflow_error("the weight times a coefficient overflows");
        }
        if (coefficient == 0) continue;
        const std::int64_t number = resolve(item.number);
        const bool negated = (coefficient > 0) == minimization;
        const Literal literal = static_cast<Literal>(negated ? -number : number);
        clauses.append(std::span<const Literal>(&literal, 1));
        weights.push_back(static_cast<Weight>(coefficient < 0 ? -coefficient : coefficient));
    }
}

}  // namespace

FormulaEncoder::FormulaEncoder(std::string model_name) : model_name_(std::move(model_name)) {}

void FormulaEncoder::create_variables(const std::string& name, std::span<const std::int64_t> sizes) {
    if (!text::is_identifier(name)) throw std::invalid_argument("Variable name '" + name + "' is not an identifier");
    if (is_reserved(name)) {
        throw std::invalid_argument("Variable name " + name +
                                    " is reserved by the expression language; change the name to a valid one");
    }
    if (variables_by_name_.contains(name)) throw std::invalid_argument("Variable named " + name + " is already in use");
    std::int64_t cells = 1;  // a variable without dimensions is one cell
    for (const auto size : sizes) {
        if (size <= 0) {
            throw std::invalid_argument("Variable " + name + ": dimension sizes must be positive, got " +
                                        std::to_string(size));
        }
        if (__builtin_mul_overflow(cells, size, &cells) || next_number_ + cells - 1 > largest_literal) {
            throw std::invalid_argument("Variable " + name + " would take the model past 2^31 - 1 variables");
        }
    }
    model_text::ModelVariable variable{name, next_number_, {sizes.begin(), sizes.end()},
                                       std::vector<std::int64_t>(sizes.size())};
    std::int64_t stride = 1;
    for (std::size_t d = sizes.size(); d-- > 0;) {
        variable.strides[d] = stride;
        stride *= sizes[d];
    }
    variables_by_name_.emplace(name, variables_.size());
    variables_.push_back(std::move(variable));
    next_number_ += cells;
}

FormulaEncoder::Encoding FormulaEncoder::encode(std::string_view text, std::string_view foralls,
                                                const std::string& kind,
                                                std::optional<std::pair<std::int64_t, bool>> soft) {
    const auto started = std::chrono::steady_clock::now();
    Encoding encoding;
    encoding.metrics.number = static_cast<std::int64_t>(encodings_.size());
    encoding.metrics.kind = kind;
    encoding.model_variables = next_number_ - 1;
    std::vector<model_text::IndexRange> ranges;
    std::vector<std::int64_t> values;
    bool in_instance = false;
    std::vector<std::size_t> positions;
    bool exactly = false;  // some index value passes 64 bits: every instance is read on its own, exactly
    const auto where = [&] {
        return "In " + kind + " constraint " + std::to_string(encoding.metrics.number) +
               (!in_instance ? std::string()
                : exactly    ? exact_instance_text(ranges, positions)
                             : instance_text(ranges, values)) +
               ": ";
    };
    try {
        ranges = model_text::parse_foralls(foralls);
        const model_text::SyntaxTree tree = model_text::parse_expression(text);
        std::vector<std::string> index_names;
        for (const auto& range : ranges) index_names.push_back(range.name);
        const model_text::NameTable names(tree, index_names, variables_by_name_);
        model_text::check_names(tree, names);
        model_text::Evaluator evaluator(tree, names, variables_, config_);

        positions.assign(ranges.size(), 0);
        exactly = std::any_of(ranges.begin(), ranges.end(), [](const auto& r) { return r.passes_64_bits(); });
        const auto lengths = lengths_of(ranges);
        values.assign(ranges.size(), 0);
        const bool empty = std::any_of(ranges.begin(), ranges.end(), [](const auto& r) { return r.values.empty(); });
        bool read_once = false;
        if (!ranges.empty() && !empty && !exactly) {
            try {
                read_once = encode_for_all_instances(evaluator, ranges, values, in_instance, soft, encoding);
            } catch (const model_text::NeedsInstances&) {
                encoding.hard.clear();
                encoding.soft.clear();
                encoding.weights.clear();
                encoding.blocks.clear();
                encoding.auxiliaries = 0;
                encoding.metrics.instances = 0;
                in_instance = false;
            }
        }
        if (!soft && !ranges.empty() && !read_once) refuse_a_template_that_never_holds(evaluator, ranges.size(), config_);
        for (bool more = !empty && !read_once; more;) {
            for (std::size_t i = 0; i < ranges.size(); ++i) values[i] = ranges[i].values[positions[i]];
            in_instance = true;
            ++encoding.metrics.instances;
            const auto evaluate = [&](InstanceContext* instance) {
                return exactly ? evaluator.evaluate_exactly(exact_values_at(ranges, positions), instance)
                               : evaluator.evaluate(values, instance);
            };
            if (soft) {
                const Value value = evaluate(nullptr);
                bool minimization = soft->second;
                const model_text::Term term = soft_term_of(value, minimization);
                append_soft(term, minimization, soft->first, [](std::int64_t number) { return number; }, encoding.soft,
                            encoding.weights);
            } else {
                InstanceContext instance;
                const Value value = evaluate(&instance);
                const auto clauses = hard_clauses_of(value, instance, config_);
                if (!clauses && ranges.empty()) refuse_contradiction();  // the instance is the template
                if (!clauses) {
                    // Its template can hold, as the host reads it: an instance
                    // that never holds is an empty clause, as the host's
                    // instance's clauses never hold.
                    encoding.hard.append({});
                    encoding.blocks.push_back({encoding.auxiliaries, 0, 0});
                } else {
                    try {
                        append_instances(structured_instance_of(*clauses), {}, encoding);
                    } catch (const InstantiationFailure& failure) {
                        throw_worded(failure, nullptr);
                    }
                }
            }
            in_instance = false;
            more = next_combination(positions, lengths);
        }
    } catch (const std::out_of_range& error) {
        throw std::out_of_range(where() + error.what());
    } catch (const model_text::OperandKindError& error) {
        throw model_text::OperandKindError(where() + error.what());
    } catch (const std::exception& error) {
        throw std::invalid_argument(where() + error.what());
    }
    if (!soft && encoding.metrics.instances > 0 && encoding.hard.empty()) {
        log_message("Redundant constraint was detected in hard constraint " + std::to_string(encoding.metrics.number) +
                        ": every instance holds whatever the variables are",
                    LogLevel::warning);
    }
    encoding.metrics.clauses = static_cast<std::int64_t>(encoding.hard.size() + encoding.soft.size());
    encoding.metrics.auxiliaries = encoding.auxiliaries;
    encoding.metrics.encoding_seconds = seconds_since(started);
    return encoding;
}

void FormulaEncoder::append_instances(const StructuredClauseTemplate& structure,
                                      std::span<const std::vector<std::int64_t>> values, Encoding& encoding) const {
    const TemplateInstantiator instantiator(structure.view(values.size()), variables_, {structure.pbct, structure.bxpr});
    auto clauses = instantiator.instantiate(values, encoding.model_variables + 1 + encoding.auxiliaries, true);
    encoding.hard.append_flat(std::move(clauses.literals), clauses.offsets);
    const auto instances = TemplateInstantiator::instance_count(values);
    // Exactly when read once; one instance at a time, the vector grows by doubling.
    if (encoding.blocks.empty()) encoding.blocks.reserve(static_cast<std::size_t>(instances));
    for (std::int64_t k = 0; k < instances; ++k) {
        encoding.blocks.push_back({encoding.auxiliaries, structure.pbct, structure.bxpr});
        encoding.auxiliaries += structure.pbct + structure.bxpr;
    }
}

bool FormulaEncoder::encode_for_all_instances(model_text::Evaluator& evaluator,
                                              const std::vector<model_text::IndexRange>& ranges,
                                              std::vector<std::int64_t>& values, bool& in_instance,
                                              std::optional<std::pair<std::int64_t, bool>> soft, Encoding& encoding) {
    InstanceContext instance;
    const Value value = evaluator.evaluate_template(ranges.size(), soft ? nullptr : &instance);
    if (!soft) {
        const auto structure =
            structured_template_of(holding_clauses_of(value, instance, config_), evaluator.template_occurrences(),
                                   ranges.size(), true);
        try {
            append_instances(structure, values_of(ranges), encoding);
        } catch (const InstantiationFailure& failure) {
            values = failure.index_values;
            in_instance = true;
            throw_worded(failure, &evaluator);
        }
        std::int64_t instances = 1;
        for (const auto& range : ranges) instances *= static_cast<std::int64_t>(range.values.size());
        encoding.metrics.instances += instances;
        return true;
    }
    bool minimization = soft->second;
    const model_text::Term term = soft_term_of(value, minimization);
    const auto& occurrences = evaluator.template_occurrences();
    std::vector<std::int64_t> numbers(occurrences.size());
    std::vector<std::size_t> positions(ranges.size(), 0);
    const auto lengths = lengths_of(ranges);
    const auto resolve = [&numbers](std::int64_t number) { return number > 0 ? number : numbers[-number - 1]; };
    for (bool more = true; more;) {
        for (std::size_t i = 0; i < ranges.size(); ++i) values[i] = ranges[i].values[positions[i]];
        in_instance = true;
        for (std::size_t t = 0; t < occurrences.size(); ++t) numbers[t] = evaluator.template_number(t, values);
        append_soft(term, minimization, soft->first, resolve, encoding.soft, encoding.weights);
        ++encoding.metrics.instances;
        in_instance = false;
        more = next_combination(positions, lengths);
    }
    return true;
}

void FormulaEncoder::add_constraint(std::string_view text, std::string_view foralls) {
    encodings_.push_back(encode(text, foralls, "hard", std::nullopt));
}

void FormulaEncoder::add_soft_constraint(std::string_view text, std::string_view foralls, std::int64_t weight,
                                         bool minimization) {
    auto encoding = encode(text, foralls, "soft", std::pair{weight, minimization});
    // Refused here, not at every later generation: the weight limit, 1 plus
    // every soft weight, is a signed 64-bit number.
    Weight weight_limit = soft_weight_limit_;
    for (const auto written : encoding.weights) {
        if (written > largest_weight_limit - weight_limit) {
            throw std::invalid_argument("In soft constraint " + std::to_string(encoding.metrics.number) +
                                        ": the weight limit, 1 plus every soft weight, is out of range: it passes "
                                        "2^63 - 1");
        }
        weight_limit += written;
    }
    encodings_.push_back(std::move(encoding));
    soft_weight_limit_ = weight_limit;
}

void FormulaEncoder::add_target(std::string_view text) {
    try {
        const model_text::SyntaxTree tree = model_text::parse_expression(text);
        const model_text::NameTable names(tree, {}, variables_by_name_);
        model_text::check_names(tree, names);
        model_text::Evaluator evaluator(tree, names, variables_, config_);
        const Value value = evaluator.evaluate({}, nullptr);
        std::vector<model_text::WeightedVariable> terms;
        if (const auto* whole = std::get_if<model_text::Term>(&value.content)) {
            terms = whole->items;
        } else if (const auto* single = std::get_if<model_text::WeightedVariable>(&value.content)) {
            terms.push_back(*single);
        } else if (const auto* cell = std::get_if<model_text::Occurrence>(&value.content)) {
            terms.push_back({cell->number, 1});
        } else {
            throw std::invalid_argument("the target must be a pseudo-Boolean sum without a bound, not " +
                                        std::string(model_text::kind_of(value)));
        }
        if (objective_) log_message("Target already used: the new target replaces it", LogLevel::warning);
        objective_ = std::move(terms);
    } catch (const std::out_of_range& error) {
        throw std::out_of_range(std::string("In the target: ") + error.what());
    } catch (const model_text::OperandKindError& error) {
        throw model_text::OperandKindError(std::string("In the target: ") + error.what());
    } catch (const std::exception& error) {
        throw std::invalid_argument(std::string("In the target: ") + error.what());
    }
}

FormulaEncoder::Encoding FormulaEncoder::encode_bounded_target(TargetBound bound) {
    Encoding encoding;
    encoding.metrics.number = static_cast<std::int64_t>(encodings_.size());
    encoding.metrics.kind = "target";
    encoding.metrics.instances = 1;
    encoding.model_variables = next_number_ - 1;
    InstanceContext instance;
    const bxpr::Ref comparison = instance.new_comparison(
        model_text::Term{*objective_}, bound.minimization ? Comparator::at_most : Comparator::at_least, bound.border);
    const auto clauses = hard_clauses_of(Value{model_text::FormulaValue{comparison}}, instance, config_);
    if (!clauses) throw std::invalid_argument("Contradiction was detected in target");
    if (clauses->ends.empty()) log_message("Redundant constraint was detected in target", LogLevel::warning);
    try {
        append_instances(structured_instance_of(*clauses), {}, encoding);
    } catch (const InstantiationFailure& failure) {
        throw_worded(failure, nullptr);
    }
    encoding.metrics.clauses = static_cast<std::int64_t>(encoding.hard.size());
    encoding.metrics.auxiliaries = encoding.auxiliaries;
    return encoding;
}

std::vector<const FormulaEncoder::Encoding*> FormulaEncoder::written_encodings() const {
    std::vector<const Encoding*> written;
    written.reserve(encodings_.size() + 1);
    for (const auto& encoding : encodings_) written.push_back(&encoding);
    if (bounded_target_) written.push_back(&*bounded_target_);
    return written;
}

std::vector<std::int64_t> FormulaEncoder::block_starts(std::span<const Encoding* const> written) const {
    std::vector<std::int64_t> starts;
    starts.reserve(written.size());
    std::int64_t next = next_number_;
    for (const auto* encoding : written) {
        starts.push_back(next);
        next += encoding->auxiliaries;
    }
    if (next - 1 > largest_literal) throw std::overflow_error("the encoding needs more than 2^31 - 1 variables");
    return starts;
}

void FormulaEncoder::generate_cnf(std::optional<TargetBound> bound) {
    const auto started = std::chrono::steady_clock::now();
    std::optional<Encoding> bounded_target;
    if (bound && objective_) bounded_target = encode_bounded_target(*bound);
    bounded_target_ = std::move(bounded_target);
    bound_ = bound;
    const auto written = written_encodings();
    const auto starts = block_starts(written);
    auto storage = std::make_shared<WcnfStorage>();
    std::size_t hard_clauses = 0;
    std::size_t hard_literals = 0;
    for (const auto* encoding : written) {
        hard_clauses += encoding->hard.size();
        hard_literals += encoding->hard.literal_count();
    }
    storage->reserve_hard(hard_clauses, hard_literals);
    // A soft constraint makes a WCNF even when all its entries weigh nothing.
    bool weighted = false;
    std::int64_t clauses = 0;
    for (std::size_t f = 0; f < written.size(); ++f) {
        const auto& encoding = *written[f];
        // The encoding numbered its auxiliaries from just after the model
        // variables; its block starts after the blocks before it.
        const std::int64_t shift = starts[f] - (encoding.model_variables + 1);
        storage->add_hard_clauses_shifted(encoding.hard, static_cast<Literal>(encoding.model_variables),
                                          static_cast<Literal>(shift));
        weighted = weighted || encoding.metrics.kind == "soft";
        for (std::size_t c = 0; c < encoding.soft.size(); ++c) {
            storage->add_soft_clause(encoding.soft.clause(c), encoding.weights[c]);
        }
        clauses += static_cast<std::int64_t>(encoding.hard.size() + encoding.soft.size());
    }
    const std::int64_t auxiliaries =
        written.empty() ? 0 : starts.back() + written.back()->auxiliaries - next_number_;
    storage->set_model_name(model_name_);
    storage->set_variable_count(next_number_ - 1 + auxiliaries);
    storage->set_clause_count(clauses);
    if (weighted) storage->set_weight_limit(soft_weight_limit_);
    storage_ = std::move(storage);
    generation_seconds_ = seconds_since(started);
    log_message("Formula encoder " + model_name_ + ": " + std::to_string(clauses) + " clauses over " +
                    std::to_string(next_number_ - 1 + auxiliaries) + " variables" +
                    (objective_ && !bound ? "; the target is kept as the objective, not as clauses" : ""),
                LogLevel::info);
}

std::shared_ptr<VarMapping> FormulaEncoder::var_mapping() const {
    auto mapping = std::make_shared<VarMapping>();
    for (const auto& variable : variables_) mapping->add_variable_cells(variable.name, variable.sizes, variable.first);
    const auto written = written_encodings();
    const auto starts = block_starts(written);
    const std::string prefixes[] = {std::string(pbct_prefix), std::string(bxpr_prefix)};
    std::vector<VarMapping::AuxiliaryRun> runs;
    for (std::size_t f = 0; f < written.size(); ++f) {
        const auto& blocks = written[f]->blocks;
        runs.clear();
        runs.reserve(2 * blocks.size());
        for (std::size_t k = 0; k < blocks.size(); ++k) {
            const std::int64_t first = starts[f] + blocks[k].start;
            const auto instance = static_cast<std::int64_t>(k);
            if (blocks[k].pbct > 0) runs.push_back({0, instance, 0, blocks[k].pbct, first});
            if (blocks[k].bxpr > 0) runs.push_back({1, instance, 0, blocks[k].bxpr, first + blocks[k].pbct});
        }
        mapping->add_auxiliary_runs(prefixes, static_cast<std::int64_t>(f), runs);
    }
    if (mapping->empty()) return nullptr;
    mapping->build_inverse_map();
    return mapping;
}

void FormulaEncoder::reset() {
    variables_.clear();
    variables_by_name_.clear();
    next_number_ = 1;
    encodings_.clear();
    soft_weight_limit_ = 1;
    objective_.reset();
    bound_.reset();
    bounded_target_.reset();
    storage_.reset();
    generation_seconds_ = 0;
    witness_.reset();
    another_witness_.reset();
}

bool FormulaEncoder::check_another_witness() {
    if (!witness_ || !another_witness_) {
        log_message("check_another_witness needs both witnesses to be set", LogLevel::warning);
        return false;
    }
    generate_cnf(bound_);  // the clauses of everything added so far
    const auto largest = std::max<std::int64_t>(storage_->variable_count(), next_number_ - 1);
    const auto values_of = [largest](const std::vector<std::int64_t>& witness) {
        std::vector<signed char> values(static_cast<std::size_t>(largest) + 1, 0);
        for (const auto literal : witness) {
            const auto number = std::llabs(literal);
            if (number <= largest) values[static_cast<std::size_t>(number)] = literal > 0 ? 1 : 0;
        }
        return values;
    };
    const auto first = values_of(*witness_);
    const auto other = values_of(*another_witness_);
    for (std::int64_t v = 1; v < next_number_; ++v) {
        if (first[static_cast<std::size_t>(v)] != other[static_cast<std::size_t>(v)]) return false;
    }
    const auto& hard = storage_->hard_clauses();
    for (std::size_t c = 0; c < hard.size(); ++c) {
        const auto clause = hard.clause(c);
        const bool satisfied = std::any_of(clause.begin(), clause.end(), [&](Literal literal) {
            return (other[static_cast<std::size_t>(std::abs(literal))] == 1) == (literal > 0);
        });
        if (!satisfied) return false;
    }
    return true;
}

EncodingMetrics FormulaEncoder::metrics() const {
    EncodingMetrics metrics;
    metrics.model_name = model_name_;
    metrics.model_variables = next_number_ - 1;
    metrics.target_terms = objective_ ? static_cast<std::int64_t>(objective_->size()) : 0;
    metrics.generation_seconds = generation_seconds_;
    for (const auto* encoding : written_encodings()) metrics.constraints.push_back(encoding->metrics);
    return metrics;
}

bool FormulaEncoder::save_metrics_json(const std::string& path) const { return write_text_file(path, metrics_json(metrics())); }

bool FormulaEncoder::save_metrics_csv(const std::string& path) const { return write_text_file(path, metrics_csv(metrics())); }

}  // namespace kelvo

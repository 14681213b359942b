#include "engine/bxpr/tseytin.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#include "engine/bxpr/boolean_builders.hpp"
#include "engine/bxpr/boolean_queries.hpp"

namespace kelvo::bxpr {

namespace {

// Clause literals before the new variables get their names: the variable's
// node index or the number of a new variable, a bit telling which, and the
// negation bit. The two largest codes are the constants.
using Code = std::uint64_t;
constexpr Code true_code = std::numeric_limits<Code>::max();
constexpr Code false_code = true_code ^ 1U;

Code variable_code(Ref literal) { return (static_cast<Code>(literal.node()) << 2) | (literal.negated() ? 1U : 0U); }
Code new_variable_code(std::uint32_t number) { return (static_cast<Code>(number) << 2) | 2U; }
bool is_new_variable(Code code) { return (code & 2U) != 0; }
std::uint32_t index_of(Code code) { return static_cast<std::uint32_t>(code >> 2); }

// Which half of "new variable <-> sub-formula" a use needs.
using Directions = std::uint8_t;
constexpr Directions implies = 1;     // new variable -> sub-formula
constexpr Directions implied_by = 2;  // sub-formula -> new variable
constexpr Directions both = implies | implied_by;

Directions flipped(Directions directions, bool flip) {
    if (!flip || directions == both) return directions;
    return directions == implies ? implied_by : implies;
}

bool is_disjunction(const Context& context, Ref ref) {
    const Kind kind = context.kind(ref);
    return ref.negated() ? kind == Kind::And : kind == Kind::Or;
}

bool is_conjunction(const Context& context, Ref ref) {
    const Kind kind = context.kind(ref);
    return ref.negated() ? kind == Kind::Or : kind == Kind::And;
}

struct NodeState {
    std::uint32_t node = 0;
    std::uint32_t parents = 0;
    std::uint32_t new_variable = std::numeric_limits<std::uint32_t>::max();
    Directions requested = 0;
    bool counted = false;
};

// The conversion's state of each node it meets, numbered through the
// context's node marks. A reference it hands out stays valid only until the
// next node is met.
class NodeStates {
public:
    explicit NodeStates(const Context& context) : numbers_(std::in_place, context) {}

    NodeState& operator[](std::uint32_t node) {
        std::uint32_t number = numbers_->get(node);
        if (number == 0) {
            number = static_cast<std::uint32_t>(states_.size());
            states_.push_back({node});
            numbers_->set(node, number);
        }
        return states_[number];
    }

    // Ends the lease of the marks, for the builders that need them.
    void release() { numbers_.reset(); }

private:
    std::vector<NodeState> states_ = std::vector<NodeState>(1);  // number 0 means none
    std::optional<NodeMarks> numbers_;
};

class Conversion {
public:
    Conversion(Context& context, Ref root) : context_(context), nodes_(context) {
        count_parents(root);
        require(root);
        while (!work_.empty()) {
            const auto [node, direction] = work_.back();
            work_.pop_back();
            define(node, direction);
        }
        nodes_.release();
    }

    Ref result(std::string_view prefix) {
        if (contradiction_) return Ref::zero();
        tidy_clauses();
        const std::vector<Ref> new_variables = name_used_new_variables(prefix);
        std::vector<Ref> literals(codes_.size());
        for (std::size_t i = 0; i < codes_.size(); ++i) {
            const Code code = codes_[i];
            const Ref positive = is_new_variable(code) ? new_variables[index_of(code)] : Ref::of_node(index_of(code));
            literals[i] = positive ^ ((code & 1U) != 0);
        }
        context_.reserve(ends_.size(), literals.size());
        const auto clause = [&](std::size_t c) {
            const std::size_t begin = c == 0 ? 0 : ends_[c - 1];
            return std::span<const Ref>(literals).subspan(begin, ends_[c] - begin);
        };
        constexpr std::size_t lookahead = 16;
        std::vector<Ref> clauses(ends_.size());
        for (std::size_t c = 0; c < ends_.size(); ++c) {
            if (c + lookahead < ends_.size() && clause(c + lookahead).size() > 1) {
                context_.prefetch_node(Kind::Or, clause(c + lookahead));
            }
            // Tidy clauses have distinct literals and no complementary pair.
            const auto literals_of_clause = clause(c);
            clauses[c] = literals_of_clause.size() == 1 ? literals_of_clause.front()
                                                        : context_.make_node(Kind::Or, literals_of_clause);
        }
        return and_s(context_, clauses);
    }

private:
    static constexpr std::uint32_t unnumbered = std::numeric_limits<std::uint32_t>::max();

    Context& context_;
    NodeStates nodes_;
    std::vector<std::pair<std::uint32_t, Directions>> work_;
    std::uint32_t new_variable_count_ = 0;
    bool contradiction_ = false;
    // All clauses, flat: codes_ and the end of each clause.
    std::vector<Code> codes_;
    std::vector<std::size_t> ends_;
    // The clause being written.
    std::vector<Code> clause_;
    bool satisfied_ = false;
    std::vector<Ref> pending_;

    void count_parents(Ref root) {
        std::vector<std::uint32_t> unvisited{root.node()};
        while (!unvisited.empty()) {
            const std::uint32_t node = unvisited.back();
            unvisited.pop_back();
            NodeState& state = nodes_[node];
            if (state.counted) continue;
            state.counted = true;
            for (const Ref arg : context_.args(Ref::of_node(node))) {
                if (arg.is_constant() || context_.is_literal(arg)) continue;
                ++nodes_[arg.node()].parents;
                unvisited.push_back(arg.node());
            }
        }
    }

    // Clauses stating that the formula holds.
    void require(Ref root) {
        std::unordered_set<std::uint32_t> conjunctions_seen;
        std::vector<Ref> conjuncts{root};
        while (!conjuncts.empty() && !contradiction_) {
            const Ref conjunct = conjuncts.back();
            conjuncts.pop_back();
            if (conjunct == Ref::one()) continue;
            if (conjunct == Ref::zero()) {
                contradiction_ = true;
                continue;
            }
            if (context_.is_literal(conjunct)) {
                begin_clause();
                add_code(variable_code(conjunct));
                end_clause();
            } else if (context_.kind(conjunct) == Kind::Clauses) {
                if (!conjunctions_seen.insert(conjunct.bits()).second) continue;
                if (conjunct.negated()) add_block_negation(conjunct.positive(), std::nullopt);
                else add_block_clauses(conjunct, std::nullopt);
            } else if (is_conjunction(context_, conjunct)) {
                if (!conjunctions_seen.insert(conjunct.bits()).second) continue;
                const auto args = context_.args(conjunct);
                for (auto arg = args.rbegin(); arg != args.rend(); ++arg) conjuncts.push_back(*arg ^ conjunct.negated());
            } else if (is_disjunction(context_, conjunct)) {
                begin_clause();
                add_disjunction(conjunct, true);
                end_clause();
            } else if (context_.kind(conjunct) == Kind::Xor) {
                add_parity(literals_of(context_.args(conjunct)), !conjunct.negated(), std::nullopt);
            } else {
                add_choice(context_.args(conjunct), conjunct.negated(), std::nullopt);
            }
        }
    }

    // Clauses of one half of "new variable <-> node".
    void define(std::uint32_t node, Directions direction) {
        const Ref ref = Ref::of_node(node);
        const Code defined = new_variable_code(nodes_[node].new_variable);
        const Code guard = direction == implies ? defined ^ 1U : defined;  // ~t for t -> f, t for f -> t
        const auto args = context_.args(ref);
        const bool forward = direction == implies;
        switch (context_.kind(ref)) {
            case Kind::And:
            case Kind::Or:
                if ((context_.kind(ref) == Kind::Or) == forward) {
                    // One clause: guard or all arguments (of the node, or negated).
                    begin_clause();
                    add_code(guard);
                    for (const Ref arg : args) add_disjunction(arg ^ !forward, false);
                    end_clause();
                } else {
                    for (const Ref arg : args) {
                        begin_clause();
                        add_code(guard);
                        add_disjunction(arg ^ !forward, false);
                        end_clause();
                    }
                }
                break;
            case Kind::Xor: add_parity(literals_of(args), forward, guard); break;
            case Kind::Ite: add_choice(args, !forward, guard); break;
            case Kind::Clauses:
                if (forward) add_block_clauses(ref, guard);
                else add_block_negation(ref, guard);
                break;
            default: break;
        }
    }

    // guard or each clause of the block.
    void add_block_clauses(Ref block, std::optional<Code> guard) {
        const auto ends = context_.clause_ends(block);
        for (std::size_t c = 0; c < ends.size(); ++c) {
            begin_clause();
            if (guard) add_code(*guard);
            for (const Ref literal : context_.block_clause(block, ends, c)) add_code(variable_code(literal));
            end_clause();
        }
    }

    // guard or some clause of the block is false: one literal per clause, the
    // negated literal of a unit clause or a new variable that implies the
    // negation of each literal of a longer one.
    void add_block_negation(Ref block, std::optional<Code> guard) {
        const auto ends = context_.clause_ends(block);
        std::vector<Code> falsified;
        falsified.reserve(ends.size());
        for (std::size_t c = 0; c < ends.size(); ++c) {
            const auto clause = context_.block_clause(block, ends, c);
            if (clause.size() == 1) {
                falsified.push_back(variable_code(clause.front()) ^ 1U);
                continue;
            }
            const Code falsifies = new_variable_code(new_variable_count_++);
            for (const Ref literal : clause) {
                begin_clause();
                add_code(falsifies ^ 1U);
                add_code(variable_code(literal) ^ 1U);
                end_clause();
            }
            falsified.push_back(falsifies);
        }
        begin_clause();
        if (guard) add_code(*guard);
        for (const Code code : falsified) add_code(code);
        end_clause();
    }

    std::vector<Code> literals_of(std::span<const Ref> args) {
        std::vector<Code> literals;
        literals.reserve(args.size());
        for (const Ref arg : args) literals.push_back(literal_of(arg, both));
        return literals;
    }

    // A literal standing for ref, defined in the directions the use needs.
    Code literal_of(Ref ref, Directions directions) {
        if (ref == Ref::one()) return true_code;
        if (ref == Ref::zero()) return false_code;
        if (context_.is_literal(ref)) return variable_code(ref);
        NodeState& state = nodes_[ref.node()];
        if (state.new_variable == unnumbered) state.new_variable = new_variable_count_++;
        const Directions needed = flipped(directions, ref.negated());
        const Directions added = needed & static_cast<Directions>(~state.requested);
        state.requested |= needed;
        if ((added & implies) != 0) work_.emplace_back(ref.node(), implies);
        if ((added & implied_by) != 0) work_.emplace_back(ref.node(), implied_by);
        return new_variable_code(state.new_variable) ^ (ref.negated() ? 1U : 0U);
    }

    // guard or (condition ? then : else), negated branches when invert;
    // without a guard, the choice itself.
    void add_choice(std::span<const Ref> args, bool invert, std::optional<Code> guard) {
        const Code condition = literal_of(args[0], both);
        for (int branch = 0; branch < 2; ++branch) {
            begin_clause();
            if (guard) add_code(*guard);
            add_code(branch == 0 ? condition ^ 1U : condition);
            add_disjunction(args[1 + branch] ^ invert, false);
            end_clause();
        }
    }

    // guard or (the exclusive disjunction of the literals is odd / even).
    void add_parity(std::vector<Code> literals, bool odd, std::optional<Code> guard) {
        std::vector<Code> kept;
        for (const Code literal : literals) {
            if (literal == true_code) odd = !odd;
            else if (literal != false_code) kept.push_back(literal);
        }
        // Long parities are cut into definitions of three literals each.
        std::size_t first = 0;
        while (kept.size() - first > 3) {
            const Code part = new_variable_code(new_variable_count_++);
            const Code group[] = {part ^ 1U, kept[first], kept[first + 1], kept[first + 2]};
            add_short_parity(group, true, std::nullopt);
            first += 3;
            kept.push_back(part);
        }
        add_short_parity(std::span<const Code>(kept).subspan(first), odd, guard);
    }

    // One clause per assignment of the wrong parity, excluding it.
    void add_short_parity(std::span<const Code> literals, bool odd, std::optional<Code> guard) {
        const unsigned count = static_cast<unsigned>(literals.size());
        for (unsigned assignment = 0; assignment < (1U << count); ++assignment) {
            const bool assignment_odd = (std::popcount(assignment) & 1) != 0;
            if (assignment_odd == odd) continue;
            begin_clause();
            if (guard) add_code(*guard);
            for (unsigned i = 0; i < count; ++i) add_code(literals[i] ^ (((assignment >> i) & 1U) != 0 ? 1U : 0U));
            end_clause();
        }
    }

    void begin_clause() {
        clause_.clear();
        satisfied_ = false;
    }

    void add_code(Code code) {
        if (code == true_code) satisfied_ = true;
        else if (code != false_code) clause_.push_back(code);
    }

    // Adds ref as disjuncts of the clause: a disjunction is spread into its
    // arguments when this is its only use (or it is the clause itself), so a
    // shared sub-formula is defined once instead of copied into every user.
    void add_disjunction(Ref ref, bool spread_always) {
        pending_.assign(1, ref);
        bool first = true;
        while (!pending_.empty()) {
            const Ref disjunct = pending_.back();
            pending_.pop_back();
            if (disjunct.is_constant()) {
                add_code(disjunct == Ref::one() ? true_code : false_code);
            } else if (context_.is_literal(disjunct)) {
                add_code(variable_code(disjunct));
            } else if (is_disjunction(context_, disjunct) &&
                       ((first && spread_always) || nodes_[disjunct.node()].parents <= 1)) {
                const auto args = context_.args(disjunct);
                for (auto arg = args.rbegin(); arg != args.rend(); ++arg) pending_.push_back(*arg ^ disjunct.negated());
            } else {
                add_code(literal_of(disjunct, implies));
            }
            first = false;
        }
    }

    void end_clause() {
        if (satisfied_) return;
        if (clause_.empty()) {
            contradiction_ = true;
            return;
        }
        codes_.insert(codes_.end(), clause_.begin(), clause_.end());
        ends_.push_back(codes_.size());
    }

    // Names the new variables that occur in some clause, in the order they
    // were made, so that the names count up from the prefix's first free
    // number without gaps.
    std::vector<Ref> name_used_new_variables(std::string_view prefix) {
        std::vector<bool> used(new_variable_count_, false);
        for (const Code code : codes_) {
            if (is_new_variable(code)) used[index_of(code)] = true;
        }
        std::vector<Ref> names(new_variable_count_, Ref::one());
        for (std::uint32_t number = 0; number < new_variable_count_; ++number) {
            if (used[number]) names[number] = context_.fresh_variable(prefix);
        }
        return names;
    }

    // Drops repeated literals, and clauses that hold a literal and its
    // negation (they say nothing).
    void tidy_clauses() {
        std::size_t written = 0;
        std::size_t kept_clauses = 0;
        std::size_t begin = 0;
        std::vector<Code> sorted;
        for (const std::size_t end : ends_) {
            const std::size_t start = written;
            bool tautology = false;
            if (end - begin > 8) {
                sorted.assign(codes_.begin() + static_cast<std::ptrdiff_t>(begin),
                              codes_.begin() + static_cast<std::ptrdiff_t>(end));
                std::sort(sorted.begin(), sorted.end());
                tautology = std::adjacent_find(sorted.begin(), sorted.end(),
                                               [](Code a, Code b) { return (a ^ 1U) == b; }) != sorted.end();
            }
            std::unordered_set<Code> seen;
            for (std::size_t i = begin; i < end && !tautology; ++i) {
                const Code code = codes_[i];
                const auto kept = std::span<const Code>(codes_).subspan(start, written - start);
                bool repeated = false;
                if (end - begin > 8) {
                    repeated = !seen.insert(code).second;
                } else {
                    for (const Code other : kept) {
                        repeated = repeated || other == code;
                        tautology = tautology || other == (code ^ 1U);
                    }
                }
                if (!repeated && !tautology) codes_[written++] = code;
            }
            if (tautology) {
                written = start;
            } else {
                ends_[kept_clauses++] = written;
            }
            begin = end;
        }
        codes_.resize(written);
        ends_.resize(kept_clauses);
    }
};

}  // namespace

Ref tseytin(Context& context, Ref root, std::string_view prefix) {
    if (is_clause_form(context, root)) return root;
    Conversion conversion(context, root);
    return conversion.result(prefix);
}

}  // namespace kelvo::bxpr

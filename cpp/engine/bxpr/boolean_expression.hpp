#pragma once
// Boolean formulas as an immutable DAG in a per-context arena. Equal
// sub-formulas are one node (structural hashing), and negation is a bit on the
// reference, so ~f costs nothing and ~~f is f.
//
// A clause block is the conjunction of many clauses of variable literals kept
// as one node, literals flat: an encoder's million clauses cost one node
// instead of a million hash-consed disjunctions. It means what the
// conjunction of the disjunctions of its clauses means; its arguments are its
// literals, in clause order, and clause_ends tells where each clause ends.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/bxpr/index_hash_table.hpp"
#include "engine/support/string_hash.hpp"

namespace kelvo::bxpr {

enum class Kind : std::uint8_t { Constant, Variable, And, Or, Xor, Ite, Clauses };

// A node index and a negation bit. Node 0 is the constant true of every
// context, so Ref::one() and Ref::zero() mean the same in all of them.
class Ref {
public:
    constexpr Ref() = default;
    static constexpr Ref one() { return Ref(0); }
    static constexpr Ref zero() { return Ref(1); }
    static constexpr Ref of_node(std::uint32_t index) { return Ref(index << 1); }
    static constexpr Ref from_bits(std::uint32_t bits) { return Ref(bits); }

    [[nodiscard]] constexpr std::uint32_t node() const { return bits_ >> 1; }
    [[nodiscard]] constexpr bool negated() const { return (bits_ & 1U) != 0; }
    [[nodiscard]] constexpr bool is_constant() const { return node() == 0; }
    [[nodiscard]] constexpr std::uint32_t bits() const { return bits_; }
    [[nodiscard]] constexpr Ref positive() const { return Ref(bits_ & ~1U); }
    [[nodiscard]] constexpr Ref operator~() const { return Ref(bits_ ^ 1U); }
    // The reference negated when flip is true.
    [[nodiscard]] constexpr Ref operator^(bool flip) const { return Ref(bits_ ^ (flip ? 1U : 0U)); }
    constexpr bool operator==(const Ref&) const = default;

private:
    constexpr explicit Ref(std::uint32_t bits) : bits_(bits) {}
    std::uint32_t bits_ = 0;
};

class Context;

// The hash of a clause block's literals, given one by one in clause order:
// a conversion that writes every literal anyway hashes it on the way, and
// the block need not be read again. Each literal is mixed with its position
// on its own, so the additions do not wait on one another.
class ClauseBlockHash {
public:
    void add(Ref literal) {
        std::uint64_t mixed = (literal.bits() ^ salt_) * 0xbf58476d1ce4e5b9ULL;
        sum_ += mixed ^ (mixed >> 31);
        salt_ += 0x9e3779b97f4a7c15ULL;
        ++count_;
    }
    [[nodiscard]] std::uint64_t value() const {
        std::uint64_t hash = sum_ ^ count_;
        hash ^= hash >> 30;
        hash *= 0xbf58476d1ce4e5b9ULL;
        hash ^= hash >> 27;
        hash *= 0x94d049bb133111ebULL;
        return hash ^ (hash >> 31);
    }

private:
    std::uint64_t sum_ = 0;
    std::uint64_t salt_ = 0x243f6a8885a308d3ULL;
    std::uint64_t count_ = 0;
};

// A value per node (0 until set), valid for the lifetime of one lease;
// leases do not nest. Marking costs O(1) per node touched, whatever the size
// of the context, and nodes made one after another sit side by side.
class NodeMarks {
public:
    explicit NodeMarks(const Context& context);
    ~NodeMarks();
    NodeMarks(const NodeMarks&) = delete;
    NodeMarks& operator=(const NodeMarks&) = delete;

    [[nodiscard]] std::uint32_t get(std::uint32_t node) const;
    void set(std::uint32_t node, std::uint32_t value);

private:
    const Context& context_;
};

class Context {
public:
    Context();

    // The variable of that name, created on first use.
    Ref get_var(std::string_view name);
    // The variable of that name if it exists, else Ref::one() (never a variable).
    [[nodiscard]] Ref find_var(std::string_view name) const;
    // A variable named prefix "_" n that did not exist before, n counting up
    // from 0 per prefix, so a fresh context names them prefix_0, prefix_1, ...
    Ref fresh_variable(std::string_view prefix);
    // How many names fresh_variable has taken with the prefix: in a fresh
    // context, the number of variables it made.
    [[nodiscard]] std::uint64_t fresh_count(std::string_view prefix) const;
    // The variables prefix_first_index, prefix_(first_index + 1), ... (count
    // of them), each made unless its name exists: get_var in bulk, its table
    // look-ups started ahead of need.
    std::vector<Ref> numbered_variables(std::string_view prefix, std::uint64_t first_index, std::size_t count);

    // The node of that kind and those arguments, exactly as given (no
    // simplification), shared with any equal node made before.
    Ref make_node(Kind kind, std::span<const Ref> args);
    // The clause block of those clauses: clause c is literals[ends[c - 1] ..
    // ends[c]). The caller gives two or more clauses of distinct variable
    // literals each, with no complementary pair; equal blocks are one node.
    // The block keeps the vectors it is given, without a copy.
    Ref make_clause_block(std::vector<Ref> literals, std::vector<std::uint32_t> ends);
    // The same, the literals hashed by the caller: hash was given exactly
    // these literals, in order.
    Ref make_clause_block(std::vector<Ref> literals, std::vector<std::uint32_t> ends, const ClauseBlockHash& hash);
    // Room for that many more variables, before a bulk of get_var.
    void reserve_variables(std::size_t count);
    // Where each clause of a clause block ends among its arguments.
    [[nodiscard]] std::span<const std::uint32_t> clause_ends(Ref block) const;
    // Clause c of a clause block whose ends are given, as its literals.
    [[nodiscard]] std::span<const Ref> block_clause(Ref block, std::span<const std::uint32_t> ends,
                                                    std::size_t c) const {
        const std::uint32_t begin = c == 0 ? 0 : ends[c - 1];
        return args(block).subspan(begin, ends[c] - begin);
    }

    // Starts loading what make_node(kind, args) will look at first; a bulk of
    // make_node calls runs several times faster when each prefetches a few
    // calls ahead.
    void prefetch_node(Kind kind, std::span<const Ref> args) const;
    // Room for that many more nodes and arguments, before a bulk of make_node.
    void reserve(std::size_t nodes, std::size_t args);

    [[nodiscard]] Kind kind(Ref ref) const { return nodes_[ref.node()].kind; }
    [[nodiscard]] bool is_literal(Ref ref) const {
        return kind(ref) == Kind::Variable;
    }
    [[nodiscard]] std::span<const Ref> args(Ref ref) const {
        const Node& node = nodes_[ref.node()];
        if (node.kind == Kind::Variable) return {};
        return stored_args(node);
    }
    // The name of a variable (of its node, whatever the negation bit).
    [[nodiscard]] std::string_view name(Ref variable) const {
        const std::size_t index = nodes_[variable.node()].first;
        return std::string_view(name_chars_).substr(name_starts_[index], name_starts_[index + 1] - name_starts_[index]);
    }
    [[nodiscard]] std::size_t node_count() const { return nodes_.size(); }
    [[nodiscard]] std::size_t variable_count() const { return name_starts_.size() - 1; }

    // A copy in this context of a formula of another context; variables are
    // matched by name.
    Ref import_formula(const Context& source, Ref root);

private:
    friend class NodeMarks;
    struct Node {
        std::size_t first;  // first argument in args_, or a variable's name index
        std::uint32_t count;
        Kind kind;
    };

    std::vector<Node> nodes_;
    std::vector<Ref> args_;
    IndexHashTable node_table_;      // connectives, by structure
    IndexHashTable variable_table_;  // variables, by name
    std::string name_chars_;         // all names, back to back
    std::vector<std::size_t> name_starts_{0};
    std::unordered_map<std::string, std::uint64_t, StringHash, std::equal_to<>> fresh_counters_;
    // Clause blocks own their literals: node.first of a block indexes here.
    struct ClauseBlock {
        std::vector<Ref> literals;
        std::vector<std::uint32_t> ends;
    };
    std::vector<ClauseBlock> blocks_;

    mutable std::vector<std::uint32_t> mark_stamps_;
    mutable std::vector<std::uint32_t> mark_values_;
    mutable std::uint32_t mark_generation_ = 0;
    mutable bool marks_leased_ = false;

    Ref add_variable(std::string_view name, std::uint64_t hash);
    // A variable whose name was written already: name_chars_ from the end
    // of the last name up to name_end.
    Ref add_named_variable(std::size_t name_end, std::uint64_t hash);
    Ref get_var(std::string_view name, std::uint64_t hash);
    [[nodiscard]] Ref find_var(std::string_view name, std::uint64_t hash) const;
    std::uint32_t append_node(Kind kind, std::size_t first, std::uint32_t count);
    [[nodiscard]] bool node_equals(std::uint32_t index, Kind kind, std::span<const Ref> args) const;
    // A connective's arguments (a clause block's literals).
    [[nodiscard]] std::span<const Ref> stored_args(const Node& node) const {
        if (node.kind == Kind::Clauses) return blocks_[node.first].literals;
        return {args_.data() + node.first, node.count};
    }
    // Hand every connective (every variable) with its hash to place, in
    // node order, to refill a growing table.
    template <typename Place>
    void place_connectives(const Place& place) const;
    template <typename Place>
    void place_variables(const Place& place) const;
};

}  // namespace kelvo::bxpr

#include "engine/bxpr/boolean_expression.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

#include "engine/bxpr/numbered_name.hpp"

namespace kelvo::bxpr {

namespace {

constexpr std::uint32_t max_nodes = std::numeric_limits<std::uint32_t>::max() >> 1;

// Variable names are short, and a bulk conversion names a hundred thousand:
// eight bytes at a time through a multiply-xorshift, then a finaliser.
std::uint64_t text_hash(std::string_view text) {
    std::uint64_t hash = 0x9e3779b97f4a7c15ULL ^ text.size();
    const char* next = text.data();
    std::size_t left = text.size();
    for (; left >= 8; next += 8, left -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, next, 8);
        hash = (hash ^ word) * 0xbf58476d1ce4e5b9ULL;
        hash ^= hash >> 31;
    }
    std::uint64_t tail = 0;
    for (std::size_t i = 0; i < left; ++i) tail |= std::uint64_t{static_cast<unsigned char>(next[i])} << (8 * i);
    hash = (hash ^ tail) * 0x94d049bb133111ebULL;
    hash ^= hash >> 29;
    hash *= 0xbf58476d1ce4e5b9ULL;
    return hash ^ (hash >> 32);
}

std::uint64_t structural_hash(Kind kind, std::span<const Ref> args) {
    // Multiply-xorshift per argument, then the splitmix64 finaliser: argument
    // references are small integers, and a weaker mix lets whole families of
    // nodes share a hash, which turns probing quadratic.
    // Long argument lists (clause blocks) mix four lanes at once, since one
    // chain of multiplications would wait on itself at every argument.
    std::uint64_t hash = 0x243f6a8885a308d3ULL ^ static_cast<std::uint64_t>(kind);
    std::size_t next = 0;
    if (args.size() >= 64) {
        std::uint64_t lanes[4] = {hash, hash ^ 0x13198a2e03707344ULL, hash ^ 0xa4093822299f31d0ULL,
                                  hash ^ 0x082efa98ec4e6c89ULL};
        for (; next + 4 <= args.size(); next += 4) {
            for (std::size_t lane = 0; lane < 4; ++lane) {
                lanes[lane] = (lanes[lane] ^ args[next + lane].bits()) * 0x9e3779b97f4a7c15ULL;
                lanes[lane] ^= lanes[lane] >> 29;
            }
        }
        hash = lanes[0];
        for (std::size_t lane = 1; lane < 4; ++lane) hash = (hash ^ lanes[lane]) * 0x9e3779b97f4a7c15ULL;
    }
    for (; next < args.size(); ++next) {
        hash = (hash ^ args[next].bits()) * 0x9e3779b97f4a7c15ULL;
        hash ^= hash >> 29;
    }
    hash ^= args.size();
    hash ^= hash >> 30;
    hash *= 0xbf58476d1ce4e5b9ULL;
    hash ^= hash >> 27;
    hash *= 0x94d049bb133111ebULL;
    hash ^= hash >> 31;
    return hash;
}

ClauseBlockHash hash_of_literals(std::span<const Ref> literals) {
    ClauseBlockHash hash;
    for (const Ref literal : literals) hash.add(literal);
    return hash;
}

std::uint64_t clause_block_hash(std::span<const Ref> literals) { return hash_of_literals(literals).value(); }

std::uint64_t node_hash(Kind kind, std::span<const Ref> args) {
    return kind == Kind::Clauses ? clause_block_hash(args) : structural_hash(kind, args);
}

// Room for extra more elements, growing geometrically: a bulk that reserves
// exactly what it needs would otherwise copy the whole vector every time.
template <typename Vector>
void reserve_more(Vector& vector, std::size_t extra) {
    const std::size_t needed = vector.size() + extra;
    if (needed > vector.capacity()) vector.reserve(std::max(needed, 2 * vector.capacity()));
}

}  // namespace

NodeMarks::NodeMarks(const Context& context) : context_(context) {
    if (context.marks_leased_) throw std::logic_error("node marks are already in use in this context");
    context.marks_leased_ = true;
    if (++context.mark_generation_ == 0) {
        std::fill(context.mark_stamps_.begin(), context.mark_stamps_.end(), 0U);
        context.mark_generation_ = 1;
    }
}

NodeMarks::~NodeMarks() { context_.marks_leased_ = false; }

std::uint32_t NodeMarks::get(std::uint32_t node) const {
    if (node >= context_.mark_stamps_.size() || context_.mark_stamps_[node] != context_.mark_generation_) return 0;
    return context_.mark_values_[node];
}

void NodeMarks::set(std::uint32_t node, std::uint32_t value) {
    if (node >= context_.mark_stamps_.size()) {
        const std::size_t size = std::max<std::size_t>(context_.nodes_.size(), node + 1);
        context_.mark_stamps_.resize(size, 0U);
        context_.mark_values_.resize(size, 0U);
    }
    context_.mark_stamps_[node] = context_.mark_generation_;
    context_.mark_values_[node] = value;
}

template <typename Place>
void Context::place_connectives(const Place& place) const {
    for (std::uint32_t index = 1; index < nodes_.size(); ++index) {
        const Node& node = nodes_[index];
        if (node.kind == Kind::Variable) continue;
        place(node_hash(node.kind, stored_args(node)), index);
    }
}

template <typename Place>
void Context::place_variables(const Place& place) const {
    for (std::uint32_t index = 1; index < nodes_.size(); ++index) {
        if (nodes_[index].kind == Kind::Variable) place(text_hash(name(Ref::of_node(index))), index);
    }
}

Context::Context() { nodes_.push_back({0, 0, Kind::Constant}); }

Ref Context::get_var(std::string_view name) { return get_var(name, text_hash(name)); }

Ref Context::get_var(std::string_view name, std::uint64_t hash) {
    const std::uint32_t found = variable_table_.find(hash, [&](std::uint32_t index) {
        return this->name(Ref::of_node(index)) == name;
    });
    return found != 0 ? Ref::of_node(found) : add_variable(name, hash);
}

Ref Context::find_var(std::string_view name) const { return find_var(name, text_hash(name)); }

Ref Context::find_var(std::string_view name, std::uint64_t hash) const {
    return Ref::of_node(variable_table_.find(hash, [&](std::uint32_t index) {
        return this->name(Ref::of_node(index)) == name;
    }));
}

Ref Context::fresh_variable(std::string_view prefix) {
    auto counter = fresh_counters_.find(prefix);
    if (counter == fresh_counters_.end()) counter = fresh_counters_.emplace(std::string(prefix), 0).first;
    NumberedName names(prefix, counter->second);
    std::string_view name;
    std::uint64_t hash = 0;
    do {
        name = names.next();
        hash = text_hash(name);
        ++counter->second;
    } while (!find_var(name, hash).is_constant());
    return add_variable(name, hash);
}

std::uint64_t Context::fresh_count(std::string_view prefix) const {
    const auto counter = fresh_counters_.find(prefix);
    return counter == fresh_counters_.end() ? 0 : counter->second;
}

std::vector<Ref> Context::numbered_variables(std::string_view prefix, std::uint64_t first_index, std::size_t count) {
    // A batch of names is written where new names are kept, hashed, and its
    // table slots loaded before any is placed: the table of a large context
    // is far out of cache. A name that exists already is taken out again.
    constexpr std::size_t batch = 32;
    reserve_variables(count);
    reserve_more(name_chars_, count * (prefix.size() + 8));
    std::vector<Ref> variables;
    variables.reserve(count);
    NumberedName names(prefix, first_index);
    std::size_t ends[batch];
    std::uint64_t hashes[batch];
    for (std::size_t start = 0; start < count; start += batch) {
        const std::size_t size = std::min(batch, count - start);
        const std::size_t committed = name_chars_.size();
        for (std::size_t k = 0; k < size; ++k) {
            names.append_next(name_chars_);
            ends[k] = name_chars_.size();
        }
        const auto written = [&](std::size_t k) {
            const std::size_t begin = k == 0 ? committed : ends[k - 1];
            return std::string_view(name_chars_).substr(begin, ends[k] - begin);
        };
        for (std::size_t k = 0; k < size; ++k) {
            hashes[k] = text_hash(written(k));
            variable_table_.prefetch(hashes[k]);
        }
        // Names are only ever moved down, over names already taken out,
        // so every name still to place lies where it was written.
        std::size_t kept = committed;
        for (std::size_t k = 0; k < size; ++k) {
            const std::string_view name = written(k);
            const Ref existing = find_var(name, hashes[k]);
            if (!existing.is_constant()) {
                variables.push_back(existing);
                continue;
            }
            if (kept != static_cast<std::size_t>(name.data() - name_chars_.data())) {
                std::memmove(name_chars_.data() + kept, name.data(), name.size());
            }
            kept += name.size();
            variables.push_back(add_named_variable(kept, hashes[k]));
        }
        name_chars_.resize(kept);
    }
    return variables;
}

Ref Context::add_variable(std::string_view name, std::uint64_t hash) {
    name_chars_ += name;
    return add_named_variable(name_chars_.size(), hash);
}

Ref Context::add_named_variable(std::size_t name_end, std::uint64_t hash) {
    const std::uint32_t index = append_node(Kind::Variable, name_starts_.size() - 1, 0);
    name_starts_.push_back(name_end);
    variable_table_.insert(hash, index, [this](const auto& place) { place_variables(place); });
    return Ref::of_node(index);
}

Ref Context::make_node(Kind kind, std::span<const Ref> args) {
    if (kind == Kind::Constant || kind == Kind::Variable) {
        throw std::invalid_argument("constants and variables are not made from arguments");
    }
    if (kind == Kind::Clauses) throw std::invalid_argument("clause blocks are made with their clause ends");
    if (kind == Kind::Ite && args.size() != 3) throw std::invalid_argument("an if-then-else takes three arguments");
    if (args.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("too many arguments");
    const std::uint64_t hash = structural_hash(kind, args);
    const std::uint32_t found =
        node_table_.find(hash, [&](std::uint32_t index) { return node_equals(index, kind, args); });
    if (found != 0) return Ref::of_node(found);
    const std::size_t first = args_.size();
    args_.insert(args_.end(), args.begin(), args.end());
    const std::uint32_t index = append_node(kind, first, static_cast<std::uint32_t>(args.size()));
    node_table_.insert(hash, index, [this](const auto& place) { place_connectives(place); });
    return Ref::of_node(index);
}

Ref Context::make_clause_block(std::vector<Ref> literals, std::vector<std::uint32_t> ends) {
    const ClauseBlockHash hash = hash_of_literals(literals);
    return make_clause_block(std::move(literals), std::move(ends), hash);
}

Ref Context::make_clause_block(std::vector<Ref> literals, std::vector<std::uint32_t> ends,
                               const ClauseBlockHash& literals_hash) {
    if (ends.size() < 2) throw std::invalid_argument("a clause block holds two clauses or more");
    if (literals.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("too many literals");
    if (ends.back() != literals.size() || ends.front() == 0 ||
        std::adjacent_find(ends.begin(), ends.end(), std::greater_equal<>()) != ends.end()) {
        throw std::invalid_argument("clause ends must rise from the first clause's end to the number of literals");
    }
    const std::uint64_t hash = literals_hash.value();
    assert(hash == clause_block_hash(literals));
    const std::uint32_t found = node_table_.find(hash, [&](std::uint32_t index) {
        return node_equals(index, Kind::Clauses, literals) && blocks_[nodes_[index].first].ends == ends;
    });
    if (found != 0) return Ref::of_node(found);
    const auto count = static_cast<std::uint32_t>(literals.size());
    const std::uint32_t index = append_node(Kind::Clauses, blocks_.size(), count);
    blocks_.push_back({std::move(literals), std::move(ends)});
    node_table_.insert(hash, index, [this](const auto& place) { place_connectives(place); });
    return Ref::of_node(index);
}

std::span<const std::uint32_t> Context::clause_ends(Ref block) const {
    const Node& node = nodes_[block.node()];
    if (node.kind != Kind::Clauses) throw std::invalid_argument("not a clause block");
    return blocks_[node.first].ends;
}

void Context::reserve_variables(std::size_t count) {
    reserve_more(nodes_, count);
    reserve_more(name_starts_, count);
    variable_table_.reserve(variable_table_.size() + count, [this](const auto& place) { place_variables(place); });
}

void Context::prefetch_node(Kind kind, std::span<const Ref> args) const {
    node_table_.prefetch(structural_hash(kind, args));
}

void Context::reserve(std::size_t nodes, std::size_t args) {
    reserve_more(nodes_, nodes);
    reserve_more(args_, args);
    node_table_.reserve(node_table_.size() + nodes, [this](const auto& place) { place_connectives(place); });
}

Ref Context::import_formula(const Context& source, Ref root) {
    if (&source == this) return root;
    // Nodes are made after their arguments, so ascending index order is an
    // order in which every argument is copied before its users.
    std::vector<std::uint32_t> reached;
    std::unordered_map<std::uint32_t, Ref> copies;
    std::vector<std::uint32_t> pending{root.node()};
    copies.emplace(0, Ref::one());
    while (!pending.empty()) {
        const std::uint32_t node = pending.back();
        pending.pop_back();
        if (!copies.emplace(node, Ref::one()).second) continue;
        reached.push_back(node);
        for (const Ref arg : source.args(Ref::of_node(node))) pending.push_back(arg.node());
    }
    std::sort(reached.begin(), reached.end());
    std::vector<Ref> args;
    for (const std::uint32_t node : reached) {
        const Ref ref = Ref::of_node(node);
        if (source.kind(ref) == Kind::Variable) {
            copies[node] = get_var(source.name(ref));
            continue;
        }
        args.clear();
        for (const Ref arg : source.args(ref)) args.push_back(copies.at(arg.node()) ^ arg.negated());
        if (source.kind(ref) == Kind::Clauses) {
            const auto ends = source.clause_ends(ref);
            copies[node] = make_clause_block(args, {ends.begin(), ends.end()});
        } else {
            copies[node] = make_node(source.kind(ref), args);
        }
    }
    return copies.at(root.node()) ^ root.negated();
}

std::uint32_t Context::append_node(Kind kind, std::size_t first, std::uint32_t count) {
    if (nodes_.size() >= max_nodes) throw std::length_error("a Boolean-expression context holds at most 2^31 nodes");
    nodes_.push_back({first, count, kind});
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

bool Context::node_equals(std::uint32_t index, Kind kind, std::span<const Ref> args) const {
    const Node& node = nodes_[index];
    if (node.kind != kind || node.count != args.size()) return false;
    const auto stored = stored_args(node);
    return std::equal(args.begin(), args.end(), stored.begin());
}

}  // namespace kelvo::bxpr

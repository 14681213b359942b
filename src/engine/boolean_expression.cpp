#include "engine/boolean_expression.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace kelvo::bxpr {

namespace {

constexpr std::uint32_t max_nodes = std::numeric_limits<std::uint32_t>::max() >> 1;

std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
    hash ^= value + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    return hash;
}

std::uint64_t structural_hash(Kind kind, std::span<const Ref> args) {
    std::uint64_t hash = 0xcbf29ce484222325ULL ^ static_cast<std::uint64_t>(kind);
    for (const Ref arg : args) hash = mix(hash, arg.bits());
    // Finalise so that the low bits (the table slot) depend on every argument.
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return hash;
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

std::uint8_t NodeMarks::get(std::uint32_t node) const {
    if (node >= context_.mark_stamps_.size() || context_.mark_stamps_[node] != context_.mark_generation_) return 0;
    return context_.mark_flags_[node];
}

void NodeMarks::set(std::uint32_t node, std::uint8_t flags) {
    if (node >= context_.mark_stamps_.size()) {
        const std::size_t size = std::max<std::size_t>(context_.nodes_.size(), node + 1);
        context_.mark_stamps_.resize(size, 0U);
        context_.mark_flags_.resize(size, 0U);
    }
    context_.mark_stamps_[node] = context_.mark_generation_;
    context_.mark_flags_[node] = flags;
}

Context::Context() {
    nodes_.push_back({0, 0, Kind::Constant});
    hashes_.push_back(0);
    table_.assign(64, 0U);
}

Ref Context::get_var(std::string_view name) {
    if (const auto found = variable_nodes_.find(name); found != variable_nodes_.end()) return Ref::of_node(found->second);
    const std::uint32_t index = append_node(Kind::Variable, names_.size(), 0, 0);
    names_.emplace_back(name);
    variable_nodes_.emplace(names_.back(), index);
    return Ref::of_node(index);
}

Ref Context::find_var(std::string_view name) const {
    const auto found = variable_nodes_.find(name);
    return found == variable_nodes_.end() ? Ref::one() : Ref::of_node(found->second);
}

Ref Context::fresh_variable(std::string_view prefix) {
    auto counter = fresh_counters_.find(prefix);
    if (counter == fresh_counters_.end()) counter = fresh_counters_.emplace(std::string(prefix), 0).first;
    std::string name;
    do {
        name.assign(prefix);
        name += '_';
        name += std::to_string(counter->second++);
    } while (variable_nodes_.contains(name));
    return get_var(name);
}

Ref Context::make_node(Kind kind, std::span<const Ref> args) {
    if (kind == Kind::Constant || kind == Kind::Variable) {
        throw std::invalid_argument("constants and variables are not made from arguments");
    }
    if (kind == Kind::Ite && args.size() != 3) throw std::invalid_argument("an if-then-else takes three arguments");
    if (args.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("too many arguments");
    const std::uint64_t hash = structural_hash(kind, args);
    const std::size_t mask = table_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t index = table_[slot];
        if (index == 0) break;
        if (hashes_[index] == hash && node_equals(index, kind, args)) return Ref::of_node(index);
    }
    const std::size_t first = args_.size();
    args_.insert(args_.end(), args.begin(), args.end());
    const std::uint32_t index = append_node(kind, first, static_cast<std::uint32_t>(args.size()), hash);
    if (2 * (nodes_.size() - variable_count()) > table_.size()) grow_table();
    for (std::size_t slot = hash & (table_.size() - 1);; slot = (slot + 1) & (table_.size() - 1)) {
        if (table_[slot] == 0) {
            table_[slot] = index;
            break;
        }
    }
    return Ref::of_node(index);
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
        copies[node] = make_node(source.kind(ref), args);
    }
    return copies.at(root.node()) ^ root.negated();
}

std::uint32_t Context::append_node(Kind kind, std::size_t first, std::uint32_t count, std::uint64_t hash) {
    if (nodes_.size() >= max_nodes) throw std::length_error("a Boolean-expression context holds at most 2^31 nodes");
    nodes_.push_back({first, count, kind});
    hashes_.push_back(hash);
    return static_cast<std::uint32_t>(nodes_.size() - 1);
}

bool Context::node_equals(std::uint32_t index, Kind kind, std::span<const Ref> args) const {
    const Node& node = nodes_[index];
    if (node.kind != kind || node.count != args.size()) return false;
    return std::equal(args.begin(), args.end(), args_.begin() + static_cast<std::ptrdiff_t>(node.first));
}

void Context::grow_table() {
    std::vector<std::uint32_t> larger(table_.size() * 2, 0U);
    const std::size_t mask = larger.size() - 1;
    for (const std::uint32_t index : table_) {
        if (index == 0) continue;
        std::size_t slot = hashes_[index] & mask;
        while (larger[slot] != 0) slot = (slot + 1) & mask;
        larger[slot] = index;
    }
    table_ = std::move(larger);
}

}  // namespace kelvo::bxpr

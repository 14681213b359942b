#include "engine/storage/var_mapping.hpp"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "engine/storage/cell_keys.hpp"

namespace kelvo {

namespace {

// A generated key split into what stands before "[" and its index values,
// when the values are spelled as RowMajorKeys spells them: decimal, no sign,
// no leading zero, separated by commas. nullopt for any other text.
struct KeyParts {
    std::string_view prefix;
    std::vector<std::int64_t> values;
};

std::optional<KeyParts> key_parts(std::string_view name) {
    const auto open = name.find('[');
    if (open == std::string_view::npos || name.back() != ']') return std::nullopt;
    KeyParts parts{name.substr(0, open), {}};
    std::string_view text = name.substr(open + 1, name.size() - open - 2);
    for (;;) {
        const auto end = text.find(',');
        const auto digits = text.substr(0, end);
        if (digits.empty() || (digits.size() > 1 && digits[0] == '0') ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc()) return std::nullopt;
        parts.values.push_back(value);
        if (end == std::string_view::npos) return parts;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

void VarMapping::set_var_map(const std::vector<std::pair<std::string, VariableNumber>>& entries) {
    *this = VarMapping();
    add_entries(entries);
}

void VarMapping::make_room(std::size_t more, std::size_t letters) {
    // Both grow by doubling: a mapping is often put together from thousands of small parts.
    entries_.make_room(more, letters);
    names_.reserve(entries_.size() + more);
}

void VarMapping::append_explicit(std::string_view name, VariableNumber number) {
    if (segments_.empty() || segments_.back().kind != SegmentKind::entries) {
        explicit_segments_.push_back(segments_.size());
        segments_.push_back({size_, 0, SegmentKind::entries, entries_.size()});
    }
    if (const auto open = name.find('['); open != std::string_view::npos) {
        const auto prefix = name.substr(0, open);
        if (!explicit_prefixes_.contains(prefix)) explicit_prefixes_.emplace(prefix);
    }
    entries_.append(name, number);
    ++segments_.back().count;
    ++size_;
}

void VarMapping::add_entry(std::string_view name, VariableNumber number) {
    inverse_built_ = false;
    const auto name_at = [this](std::size_t entry) { return entries_.name(entry); };
    if (!blocks_.empty() || !runs_.empty()) {
        if (const auto position = generated_position(name)) {
            renumbered_cells_[*position] = number;
            return;
        }
    }
    const auto [entry, added] = names_.insert(name, entries_.size(), name_at);
    if (added) {
        append_explicit(name, number);
    } else {
        entries_.set_number(entry, number);
    }
}

void VarMapping::add_entries(const std::vector<std::pair<std::string, VariableNumber>>& entries) {
    std::size_t letters = 0;
    for (const auto& entry : entries) letters += entry.first.size();
    make_room(entries.size(), letters);
    for (const auto& [name, number] : entries) add_entry(name, number);
}

void VarMapping::add_variable_cells(std::string_view name, std::span<const std::int64_t> sizes,
                                    VariableNumber first) {
    const auto cells = static_cast<std::size_t>(cell_count(sizes));
    if (cells == 0) return;
    inverse_built_ = false;
    // Cells that may share names with entries already here are added one by
    // one, so that each is found and given its new number.
    const bool may_share = sizes.empty() || blocks_by_name_.contains(name) || explicit_prefixes_.contains(name) ||
                           run_prefixes_.contains(name) || name.find_first_of("[],") != std::string_view::npos;
    if (may_share) {
        make_room(cells, cells * (name.size() + 2 + 4 * sizes.size()));
        VariableNumber number = first;
        for (RowMajorKeys keys(name, sizes); !keys.done(); keys.advance()) add_entry(keys.key(), number++);
        return;
    }
    CellBlock block{std::string(name), {sizes.begin(), sizes.end()}, std::vector<std::int64_t>(sizes.size()), first, cells,
                    size_};
    std::int64_t stride = 1;
    for (std::size_t d = sizes.size(); d-- > 0;) {
        block.strides[d] = stride;
        stride *= sizes[d];
    }
    blocks_by_name_.emplace(block.name, blocks_.size());
    segments_.push_back({size_, cells, SegmentKind::cells, blocks_.size()});
    blocks_.push_back(std::move(block));
    size_ += cells;
}

bool VarMapping::may_share_names_with_runs(std::string_view prefix) const {
    return explicit_prefixes_.contains(prefix) || blocks_by_name_.contains(prefix) ||
           prefix.find_first_of("[],") != std::string_view::npos;
}

void VarMapping::add_run_entries_one_by_one(const std::string& prefix, std::int64_t formula, const AuxiliaryRun& run) {
    for (std::int64_t t = 0; t < run.count; ++t) {
        add_entry(auxiliary_key(prefix, formula, run.instance, run.first_index + t), run.first + t);
    }
}

void VarMapping::add_auxiliary_runs(std::span<const std::string> prefixes, std::int64_t formula,
                                    std::span<const AuxiliaryRun> runs) {
    for (const auto& run : runs) {
        if (run.prefix >= prefixes.size()) throw std::invalid_argument("a run names a prefix that is not given");
        if (run.instance < 0 || run.first_index < 0 || run.count < 0 || formula < 0) {
            throw std::invalid_argument("run instances, indexes and counts must not be negative");
        }
    }
    inverse_built_ = false;
    for (const auto& run : runs) {
        if (run.count == 0) continue;
        const std::string& prefix = prefixes[run.prefix];
        RunKey key{prefix, formula, run.instance};
        const auto found = runs_by_key_.find(key);
        const bool overlaps = found != runs_by_key_.end() &&
                              std::any_of(found->second.begin(), found->second.end(), [&](std::size_t r) {
                                  const auto& other = runs_[r];
                                  return run.first_index < other.first_index + static_cast<std::int64_t>(other.count) &&
                                         other.first_index < run.first_index + run.count;
                              });
        if (overlaps || may_share_names_with_runs(prefix)) {
            add_run_entries_one_by_one(prefix, formula, run);
            continue;
        }
        runs_by_key_[std::move(key)].push_back(runs_.size());
        if (!run_prefixes_.contains(prefix)) run_prefixes_.emplace(prefix);
        segments_.push_back({size_, static_cast<std::size_t>(run.count), SegmentKind::run, runs_.size()});
        runs_.push_back({prefix, formula, run.instance, run.first_index, static_cast<std::size_t>(run.count), run.first,
                         size_});
        size_ += static_cast<std::size_t>(run.count);
    }
}

std::optional<std::size_t> VarMapping::generated_position(std::string_view name) const {
    if (const auto cell = cell_position(name)) return cell;
    return run_position(name);
}

std::optional<std::size_t> VarMapping::run_position(std::string_view name) const {
    if (runs_.empty()) return std::nullopt;
    const auto parts = key_parts(name);
    if (!parts || parts->values.size() != 3 || !run_prefixes_.contains(parts->prefix)) return std::nullopt;
    const auto found = runs_by_key_.find(RunKey{std::string(parts->prefix), parts->values[0], parts->values[1]});
    if (found == runs_by_key_.end()) return std::nullopt;
    const std::int64_t index = parts->values[2];
    for (const auto r : found->second) {
        const auto& run = runs_[r];
        if (index >= run.first_index && index < run.first_index + static_cast<std::int64_t>(run.count)) {
            return run.position + static_cast<std::size_t>(index - run.first_index);
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> VarMapping::cell_position(std::string_view name) const {
    const auto parts = key_parts(name);
    if (!parts) return std::nullopt;
    const auto found = blocks_by_name_.find(parts->prefix);
    if (found == blocks_by_name_.end()) return std::nullopt;
    const CellBlock& block = blocks_[found->second];
    const auto& values = parts->values;
    if (values.size() != block.sizes.size()) return std::nullopt;
    std::size_t offset = 0;
    for (std::size_t d = 0; d < values.size(); ++d) {
        if (values[d] >= block.sizes[d]) return std::nullopt;
        offset += static_cast<std::size_t>(values[d] * block.strides[d]);
    }
    return block.position + offset;
}

const VarMapping::Segment& VarMapping::segment_of(std::size_t position) const {
    if (position >= size_) throw std::out_of_range("no entry at position " + std::to_string(position));
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), position,
                                        [](std::size_t p, const Segment& s) { return p < s.first_position; });
    return *(after - 1);
}

std::size_t VarMapping::explicit_position(std::size_t entry) const {
    const auto after = std::upper_bound(explicit_segments_.begin(), explicit_segments_.end(), entry,
                                        [this](std::size_t e, std::size_t s) { return e < segments_[s].index; });
    const Segment& segment = segments_[*(after - 1)];
    return segment.first_position + (entry - segment.index);
}

std::string VarMapping::name_at(std::size_t position) const {
    const Segment& segment = segment_of(position);
    const std::size_t offset = position - segment.first_position;
    if (segment.kind == SegmentKind::entries) return std::string(entries_.name(segment.index + offset));
    if (segment.kind == SegmentKind::run) {
        const StoredRun& run = runs_[segment.index];
        return auxiliary_key(run.prefix, run.formula, run.instance, run.first_index + static_cast<std::int64_t>(offset));
    }
    const CellBlock& block = blocks_[segment.index];
    std::string name = block.name;
    name += '[';
    std::size_t rest = offset;
    for (std::size_t d = 0; d < block.sizes.size(); ++d) {
        if (d > 0) name += ',';
        const auto stride = static_cast<std::size_t>(block.strides[d]);
        name += std::to_string(rest / stride);
        rest %= stride;
    }
    name += ']';
    return name;
}

VariableNumber VarMapping::number_at(std::size_t position) const {
    const Segment& segment = segment_of(position);
    const std::size_t offset = position - segment.first_position;
    if (segment.kind == SegmentKind::entries) return entries_.number(segment.index + offset);
    if (!renumbered_cells_.empty()) {
        if (const auto found = renumbered_cells_.find(position); found != renumbered_cells_.end()) return found->second;
    }
    const VariableNumber first = segment.kind == SegmentKind::cells ? blocks_[segment.index].first : runs_[segment.index].first;
    return first + static_cast<VariableNumber>(offset);
}

VariableNumber VarMapping::largest_number() const {
    VariableNumber largest = 0;
    for (std::size_t entry = 0; entry < entries_.size(); ++entry) largest = std::max(largest, entries_.number(entry));
    for (const auto& block : blocks_) largest = std::max(largest, block.first + static_cast<VariableNumber>(block.cells) - 1);
    for (const auto& run : runs_) largest = std::max(largest, run.first + static_cast<VariableNumber>(run.count) - 1);
    for (const auto& [position, number] : renumbered_cells_) largest = std::max(largest, number);
    return largest;
}

void VarMapping::build_inverse_map() {
    dense_inverse_.clear();
    sorted_inverse_.clear();
    intervals_.clear();
    interval_ends_.clear();
    for (const auto& segment : segments_) {
        if (segment.kind == SegmentKind::cells) {
            intervals_.push_back({blocks_[segment.index].first, segment.count, segment.first_position});
        } else if (segment.kind == SegmentKind::run) {
            intervals_.push_back({runs_[segment.index].first, segment.count, segment.first_position});
        }
    }
    std::sort(intervals_.begin(), intervals_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& interval : intervals_) {
        const VariableNumber end = interval.first + static_cast<VariableNumber>(interval.count);
        interval_ends_.push_back(interval_ends_.empty() ? end : std::max(interval_ends_.back(), end));
    }
    std::vector<std::pair<VariableNumber, std::size_t>> listed;
    listed.reserve(entries_.size() + renumbered_cells_.size());
    for (std::size_t entry = 0; entry < entries_.size(); ++entry) {
        listed.emplace_back(entries_.number(entry), explicit_position(entry));
    }
    for (const auto& [position, number] : renumbered_cells_) listed.emplace_back(number, position);
    VariableNumber smallest = 0;
    VariableNumber largest = 0;
    for (const auto& [number, position] : listed) {
        smallest = std::min(smallest, number);
        largest = std::max(largest, number);
    }
    if (smallest >= 0 && static_cast<std::size_t>(largest) <= 4 * listed.size() + 1024) {
        dense_inverse_.assign(listed.empty() ? 0 : static_cast<std::size_t>(largest) + 1, 0);
        for (const auto& [number, position] : listed) {
            auto& slot = dense_inverse_[static_cast<std::size_t>(number)];
            if (slot == 0 || position + 1 < slot) slot = position + 1;
        }
    } else {
        sorted_inverse_ = std::move(listed);
        std::sort(sorted_inverse_.begin(), sorted_inverse_.end());
    }
    inverse_built_ = true;
}

std::optional<std::size_t> VarMapping::inverse_position(VariableNumber number) const {
    if (sorted_inverse_.empty()) {
        if (number < 0 || static_cast<std::size_t>(number) >= dense_inverse_.size()) return std::nullopt;
        const auto slot = dense_inverse_[static_cast<std::size_t>(number)];
        if (slot == 0) return std::nullopt;
        return slot - 1;
    }
    // Sorted by number, then position: the first of a number is its first position.
    const auto found = std::lower_bound(sorted_inverse_.begin(), sorted_inverse_.end(), std::pair{number, std::size_t{0}});
    if (found == sorted_inverse_.end() || found->first != number) return std::nullopt;
    return found->second;
}

std::optional<std::size_t> VarMapping::first_position_of(VariableNumber number) const {
    std::optional<std::size_t> first = inverse_position(number);
    // Intervals starting at or before the number, back to the last that could still reach it.
    auto i = static_cast<std::size_t>(
        std::upper_bound(intervals_.begin(), intervals_.end(), number,
                         [](VariableNumber n, const NumberInterval& interval) { return n < interval.first; }) -
        intervals_.begin());
    while (i-- > 0 && interval_ends_[i] > number) {
        const auto& interval = intervals_[i];
        if (number >= interval.first + static_cast<VariableNumber>(interval.count)) continue;
        const std::size_t position = interval.position + static_cast<std::size_t>(number - interval.first);
        if (renumbered_cells_.contains(position)) continue;
        if (!first || position < *first) first = position;
    }
    return first;
}

std::optional<VariableNumber> VarMapping::number_of(std::string_view name) const {
    if (const auto entry = names_.find(name, [this](std::size_t e) { return entries_.name(e); })) {
        return entries_.number(*entry);
    }
    if (blocks_.empty() && runs_.empty()) return std::nullopt;
    const auto position = generated_position(name);
    if (!position) return std::nullopt;
    return number_at(*position);
}

std::optional<std::string> VarMapping::name_of(VariableNumber number) {
    if (!inverse_built_) build_inverse_map();
    const auto position = first_position_of(number);
    if (!position) return std::nullopt;
    return name_at(*position);
}

VarMapping VarMapping::without_prefixes(std::span<const std::string> prefixes) const {
    const auto left_out = [prefixes](std::string_view name) {
        return std::any_of(prefixes.begin(), prefixes.end(),
                           [name](const std::string& prefix) { return name.starts_with(prefix); });
    };
    // A prefix longer than a name and its bracket may leave out some of its entries only.
    const auto partly_left_out = [prefixes](const std::string& key_start) {
        return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
            return prefix.size() > key_start.size() && prefix.starts_with(key_start);
        });
    };
    VarMapping copy;
    const auto copy_one_by_one = [&](const Segment& segment) {
        for (std::size_t position = segment.first_position; position < segment.first_position + segment.count; ++position) {
            const auto name = name_at(position);
            if (!left_out(name)) copy.add_entry(name, number_at(position));
        }
    };
    for (const auto& segment : segments_) {
        if (segment.kind == SegmentKind::entries) {
            for (std::size_t e = segment.index; e < segment.index + segment.count; ++e) {
                const auto name = entries_.name(e);
                if (!left_out(name)) copy.add_entry(name, entries_.number(e));
            }
            continue;
        }
        const std::string key_start =
            (segment.kind == SegmentKind::cells ? blocks_[segment.index].name : runs_[segment.index].prefix) + "[";
        if (left_out(key_start)) continue;
        if (partly_left_out(key_start) || !renumbered_cells_.empty()) {
            copy_one_by_one(segment);
        } else if (segment.kind == SegmentKind::cells) {
            const CellBlock& block = blocks_[segment.index];
            copy.add_variable_cells(block.name, block.sizes, block.first);
        } else {
            const StoredRun& run = runs_[segment.index];
            const std::string prefix[] = {run.prefix};
            const AuxiliaryRun record{0, run.instance, run.first_index, static_cast<std::int64_t>(run.count), run.first};
            copy.add_auxiliary_runs(prefix, run.formula, std::span(&record, 1));
        }
    }
    return copy;
}

}  // namespace kelvo

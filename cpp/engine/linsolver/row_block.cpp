#include "engine/linsolver/row_block.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace kelvo {

namespace {

constexpr auto kLargestEntryCount = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
// A borrowed block goes to HiGHS by a call of its own; below this many
// entries, copying it into the next copied block costs less than the call.
constexpr std::size_t kSmallestBorrowedBlock = 1024;

template <class Number>
std::string text_of(Number number) {
    std::ostringstream text;
    text << +number;
    return text.str();
}

// Grows by a large factor: the memory is fresh from the system either way, and
// a large step means fewer copies and fewer pages touched twice than doubling.
// Past a few hundred megabytes the step is capped, so that a huge model does
// not reserve gigabytes it will never touch.
template <class Element>
void reserve_for(std::vector<Element>& elements, std::size_t extra) {
    const auto needed = elements.size() + extra;
    if (needed <= elements.capacity()) return;
    constexpr std::size_t kGrowth = 8;
    constexpr std::size_t kFirstCapacity = 4096;
    constexpr std::size_t kLargestStep = std::size_t{1} << 26;
    const auto capacity = elements.capacity();
    elements.reserve(std::max({needed, std::min(capacity * kGrowth, capacity + kLargestStep), kFirstCapacity}));
}

[[noreturn]] void refuse_row(std::int64_t row, const std::string& reason) {
    throw std::invalid_argument("row " + std::to_string(row) + " " + reason);
}

void check_bounds(std::int64_t row, double lower, double upper) {
    if (std::isnan(lower) || std::isnan(upper)) refuse_row(row, "has a bound that is NaN");
    if (lower == std::numeric_limits<double>::infinity()) refuse_row(row, "has the lower bound +infinity");
    if (upper == -std::numeric_limits<double>::infinity()) refuse_row(row, "has the upper bound -infinity");
}

}  // namespace

std::size_t span_size(const IndexSpan& indices) {
    return std::visit([](auto span) { return span.size(); }, indices);
}

std::size_t span_size(const ValueSpan& values) {
    return std::visit([](auto span) { return span.size(); }, values);
}

IndexSpan first_entries(const IndexSpan& indices, std::size_t count) {
    return std::visit([count](auto span) { return IndexSpan(span.first(count)); }, indices);
}

ValueSpan first_entries(const ValueSpan& values, std::size_t count) {
    return std::visit([count](auto span) { return ValueSpan(span.first(count)); }, values);
}

void RowBlock::set_column_count(std::int64_t count) {
    if (count < column_count_) throw std::invalid_argument("the column count cannot shrink");
    column_count_ = count;
    column_seen_by_check_.resize(static_cast<std::size_t>(count), 0);
}

std::int64_t RowBlock::next_row_number() const {
    return rows_taken_ + static_cast<std::int64_t>(pending_rows());
}

void RowBlock::roll_back(Mark mark) {
    lower_.resize(mark.rows);
    upper_.resize(mark.rows);
    ends_.resize(mark.rows);
    indices_.resize(mark.entries);
    values_.resize(mark.entries);
}

template <class Index>
void RowBlock::append_indices(std::int64_t row, std::span<const Index> indices) {
    const auto serial = ++check_serial_;
    for (const Index index : indices) {
        bool inside = false;
        if constexpr (std::is_signed_v<Index>) {
            inside = index >= 0 && static_cast<std::int64_t>(index) < column_count_;
        } else {
            inside = static_cast<std::uint64_t>(index) < static_cast<std::uint64_t>(column_count_);
        }
        if (!inside) {
            throw std::out_of_range("row " + std::to_string(row) + " names column " + text_of(index) +
                                    ", but the model has " + std::to_string(column_count_) + " columns");
        }
        auto& seen = column_seen_by_check_[static_cast<std::size_t>(index)];
        if (seen == serial) refuse_row(row, "names column " + text_of(index) + " more than once");
        seen = serial;
        indices_.push_back(static_cast<ColumnIndex>(index));
    }
}

template <class Value>
void RowBlock::append_values(std::int64_t row, std::span<const Value> values) {
    for (const Value value : values) {
        if constexpr (std::is_floating_point_v<Value>) {
            if (!std::isfinite(value)) refuse_row(row, "has the value " + text_of(value) + ", which is not finite");
        }
        values_.push_back(static_cast<double>(value));
    }
}

void RowBlock::append_checked_row(double lower, double upper, const IndexSpan& indices, const ValueSpan& values) {
    const auto row = next_row_number();
    check_bounds(row, lower, upper);
    if (span_size(indices) != span_size(values)) {
        refuse_row(row, "has " + std::to_string(span_size(indices)) + " column numbers but " +
                            std::to_string(span_size(values)) + " values");
    }
    if (sealed_entries_ + indices_.size() + span_size(indices) > kLargestEntryCount) {
        throw std::length_error("the rows hold more entries than the solver can take");
    }
    reserve_for(indices_, span_size(indices));
    reserve_for(values_, span_size(values));
    reserve_for(lower_, 1);
    reserve_for(upper_, 1);
    reserve_for(ends_, 1);
    std::visit([&](auto span) { append_indices(row, span); }, indices);
    std::visit([&](auto span) { append_values(row, span); }, values);
    lower_.push_back(lower);
    upper_.push_back(upper);
    ends_.push_back(indices_.size());
}

void RowBlock::append_row(double lower, double upper, const IndexSpan& indices, const ValueSpan& values) {
    const auto before = mark();
    try {
        append_checked_row(lower, upper, indices, values);
    } catch (...) {
        roll_back(before);
        throw;
    }
}

void RowBlock::append_rows(std::span<const double> lower, std::span<const double> upper,
                           std::span<const std::int64_t> starts, const IndexSpan& indices,
                           const ValueSpan& values) {
    const auto rows = lower.size();
    if (upper.size() != rows || starts.size() != rows + 1) {
        throw std::invalid_argument("a block of " + std::to_string(rows) + " rows needs " + std::to_string(rows) +
                                    " upper bounds and " + std::to_string(rows + 1) + " starts");
    }
    const auto entries = span_size(indices);
    if (span_size(values) != entries) throw std::invalid_argument("the block has as many values as column numbers");
    if (starts.front() != 0 || static_cast<std::size_t>(starts.back()) != entries) {
        throw std::invalid_argument("the starts must run from 0 to the number of entries, " + std::to_string(entries));
    }
    for (std::size_t r = 0; r < rows; ++r) {
        if (starts[r + 1] < starts[r]) throw std::invalid_argument("the starts must not decrease");
    }
    const auto before = mark();
    try {
        for (std::size_t r = 0; r < rows; ++r) {
            const auto begin = static_cast<std::size_t>(starts[r]);
            const auto count = static_cast<std::size_t>(starts[r + 1]) - begin;
            const auto row_indices =
                std::visit([&](auto span) { return IndexSpan(span.subspan(begin, count)); }, indices);
            const auto row_values =
                std::visit([&](auto span) { return ValueSpan(span.subspan(begin, count)); }, values);
            append_checked_row(lower[r], upper[r], row_indices, row_values);
        }
    } catch (...) {
        roll_back(before);
        throw;
    }
}

bool RowBlock::sorted_rows_pass_checks(std::span<const double> lower, std::span<const double> upper,
                                       std::span<const std::int32_t> starts, std::span<const ColumnIndex> indices,
                                       std::span<const double> values) const {
    const auto rows = lower.size();
    if (upper.size() != rows || starts.size() != rows + 1 || values.size() != indices.size()) return false;
    if (starts.front() != 0 || static_cast<std::size_t>(starts.back()) != indices.size()) return false;
    if (sealed_entries_ + indices_.size() + indices.size() > kLargestEntryCount) return false;
    constexpr auto infinity = std::numeric_limits<double>::infinity();
    for (std::size_t r = 0; r < rows; ++r) {
        if (std::isnan(lower[r]) || std::isnan(upper[r]) || lower[r] == infinity || upper[r] == -infinity) {
            return false;
        }
        const auto begin = starts[r];
        const auto end = starts[r + 1];
        if (end < begin) return false;
        if (begin == end) continue;
        if (indices[static_cast<std::size_t>(begin)] < 0 || indices[static_cast<std::size_t>(end - 1)] >= column_count_) {
            return false;
        }
        for (auto entry = begin + 1; entry < end; ++entry) {
            if (indices[static_cast<std::size_t>(entry)] <= indices[static_cast<std::size_t>(entry - 1)]) return false;
        }
    }
    for (const double value : values) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

bool RowBlock::borrow_sorted_rows(std::span<const double> lower, std::span<const double> upper,
                                  std::span<const std::int32_t> starts, std::span<const ColumnIndex> indices,
                                  std::span<const double> values, std::shared_ptr<const void> owner) {
    if (indices.size() < kSmallestBorrowedBlock) return false;
    if (!sorted_rows_pass_checks(lower, upper, starts, indices, values)) return false;
    seal_copied_rows();
    sealed_.emplace_back(BorrowedRows{{lower.begin(), lower.end()}, {upper.begin(), upper.end()}, starts, indices,
                                      values, std::move(owner)});
    sealed_rows_ += lower.size();
    sealed_entries_ += indices.size();
    return true;
}

void RowBlock::seal_copied_rows() {
    if (lower_.empty()) return;
    const auto rows = lower_.size();
    const auto entries = indices_.size();
    sealed_.emplace_back(take_copied());
    sealed_rows_ += rows;
    sealed_entries_ += entries;
}

TakenRows RowBlock::take() {
    seal_copied_rows();
    TakenRows taken;
    taken.swap(sealed_);
    rows_taken_ += static_cast<std::int64_t>(sealed_rows_);
    sealed_rows_ = 0;
    sealed_entries_ = 0;
    return taken;
}

RowBlockArrays RowBlock::take_copied() {
    RowBlockArrays block;
    block.starts.reserve(ends_.size() + 1);
    block.starts.push_back(0);
    for (const auto end : ends_) block.starts.push_back(static_cast<std::int32_t>(end));
    block.lower.swap(lower_);
    block.upper.swap(upper_);
    block.indices.swap(indices_);
    block.values.swap(values_);
    std::vector<std::size_t>().swap(ends_);
    return block;
}

}  // namespace kelvo

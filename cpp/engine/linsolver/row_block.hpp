#pragma once
// Constraint rows collected one call at a time and handed over as one block in
// compressed-row form: a solver takes one block of a hundred thousand rows far
// faster than as many single rows. Every row is checked as it arrives, so the
// caller that sent a bad row hears of it at that call, not at the solve.

#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

namespace kelvo {

using ColumnIndex = std::int32_t;

// A row's column numbers or values in the element type the caller's array has.
using IndexSpan = std::variant<std::span<const std::int8_t>, std::span<const std::int16_t>,
                               std::span<const std::int32_t>, std::span<const std::int64_t>,
                               std::span<const std::uint8_t>, std::span<const std::uint16_t>,
                               std::span<const std::uint32_t>, std::span<const std::uint64_t>>;
using ValueSpan = std::variant<std::span<const std::int8_t>, std::span<const std::int16_t>,
                               std::span<const std::int32_t>, std::span<const std::int64_t>,
                               std::span<const std::uint8_t>, std::span<const std::uint16_t>,
                               std::span<const std::uint32_t>, std::span<const std::uint64_t>,
                               std::span<const float>, std::span<const double>>;

std::size_t span_size(const IndexSpan& indices);
std::size_t span_size(const ValueSpan& values);
IndexSpan first_entries(const IndexSpan& indices, std::size_t count);
ValueSpan first_entries(const ValueSpan& values, std::size_t count);

// Rows in compressed-row form: row r holds the entries starts[r] to
// starts[r + 1] - 1 of indices and values.
struct RowBlockArrays {
    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<std::int32_t> starts;
    std::vector<ColumnIndex> indices;
    std::vector<double> values;
};

// Rows whose column numbers and values stay in their owner's arrays until
// they go to the solver: a block already merged by row is not copied twice.
struct BorrowedRows {
    std::vector<double> lower;
    std::vector<double> upper;
    std::span<const std::int32_t> starts;  // one more than there are rows
    std::span<const ColumnIndex> indices;
    std::span<const double> values;
    std::shared_ptr<const void> owner;     // keeps the arrays alive
};

// Taken rows, in the order they came: copied blocks and borrowed ones.
using TakenRows = std::vector<std::variant<RowBlockArrays, BorrowedRows>>;

class RowBlock {
public:
    // Rows may name columns 0 to count - 1; the count only grows.
    void set_column_count(std::int64_t count);
    [[nodiscard]] std::int64_t column_count() const { return column_count_; }

    // lower <= sum of values[k] * column indices[k] <= upper. Throws
    // std::out_of_range for a column outside the model and
    // std::invalid_argument for a repeated column, a value that is not finite
    // or a bound that is NaN or excludes every value; a refused row adds nothing.
    void append_row(double lower, double upper, const IndexSpan& indices, const ValueSpan& values);
    // Rows r = 0..m-1 with the entries starts[r] to starts[r + 1] - 1; all or nothing.
    void append_rows(std::span<const double> lower, std::span<const double> upper,
                     std::span<const std::int64_t> starts, const IndexSpan& indices, const ValueSpan& values);
    // The same rows borrowed, not copied, when the block holds a thousand
    // entries or more, each row's columns ascend strictly (no repeat possible)
    // and every check of append_rows passes, which one pass in order shows;
    // false, with nothing added, otherwise.
    // The arrays must not change while owner holds them.
    bool borrow_sorted_rows(std::span<const double> lower, std::span<const double> upper,
                            std::span<const std::int32_t> starts, std::span<const ColumnIndex> indices,
                            std::span<const double> values, std::shared_ptr<const void> owner);

    [[nodiscard]] std::size_t pending_rows() const { return lower_.size() + sealed_rows_; }
    [[nodiscard]] std::int64_t rows_taken() const { return rows_taken_; }
    // The pending rows, which from now on count as taken.
    [[nodiscard]] TakenRows take();

private:
    struct Mark {
        std::size_t rows;
        std::size_t entries;
    };

    [[nodiscard]] Mark mark() const { return {lower_.size(), indices_.size()}; }
    [[nodiscard]] bool sorted_rows_pass_checks(std::span<const double> lower, std::span<const double> upper,
                                               std::span<const std::int32_t> starts,
                                               std::span<const ColumnIndex> indices,
                                               std::span<const double> values) const;
    [[nodiscard]] RowBlockArrays take_copied();
    void seal_copied_rows();
    void roll_back(Mark mark);
    void append_checked_row(double lower, double upper, const IndexSpan& indices, const ValueSpan& values);
    [[nodiscard]] std::int64_t next_row_number() const;

    template <class Index>
    void append_indices(std::int64_t row, std::span<const Index> indices);
    template <class Value>
    void append_values(std::int64_t row, std::span<const Value> values);

    std::int64_t column_count_ = 0;
    std::int64_t rows_taken_ = 0;
    // Blocks that came before the copied rows now pending, in order.
    TakenRows sealed_;
    std::size_t sealed_rows_ = 0;
    std::size_t sealed_entries_ = 0;
    std::vector<double> lower_;
    std::vector<double> upper_;
    std::vector<std::size_t> ends_;
    std::vector<ColumnIndex> indices_;
    std::vector<double> values_;
    // For each column, the check that saw it last: a repeat within a row is
    // found in one pass without sorting the row.
    std::vector<std::uint64_t> column_seen_by_check_;
    std::uint64_t check_serial_ = 0;
};

}  // namespace kelvo

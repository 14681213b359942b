#include "engine/pbct/product_at_most_one.hpp"

#include <vector>

#include "engine/pbct/at_most_one_encoding.hpp"

namespace kelvo {

std::size_t product_columns(std::size_t literal_count, std::size_t rows) { return (literal_count + rows - 1) / rows; }

void encode_product_at_most_one(std::span<const Literal> literals, std::size_t rows, ClauseWriter& writer) {
    const std::size_t columns = product_columns(literals.size(), rows);
    std::vector<Literal> row_of(rows), column_of(columns);
    for (auto& row : row_of) row = writer.new_variable();
    for (auto& column : column_of) column = writer.new_variable();
    for (std::size_t i = 0; i < literals.size(); ++i) {
        writer.add({-literals[i], row_of[i / columns]});
        writer.add({-literals[i], column_of[i % columns]});
    }
    encode_at_most_one(row_of, writer);
    encode_at_most_one(column_of, writer);
}

}  // namespace kelvo

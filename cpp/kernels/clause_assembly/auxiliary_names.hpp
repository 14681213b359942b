#pragma once
// The mapping keys of the auxiliary variables one constraint uses,
// "_pbct_aux[f,k,n]" and "_bxpr_aux[f,k,n]" (constraint f, instance k, n-th
// of its kind), with their numbers. Kept as uses and spelled only when asked:
// a model's auxiliaries outnumber its clauses' other variables.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/storage/cell_keys.hpp"
#include "kernels/clause_assembly/auxiliary_literal.hpp"
#include "kernels/clause_assembly/clause_writer.hpp"

namespace vx {

class AuxiliaryNames {
public:
    AuxiliaryNames(std::vector<AuxiliaryUse> uses, const AuxiliaryBlock& block, std::int64_t formula)
        : uses_(std::move(uses)), block_(block), formula_(formula) {}

    [[nodiscard]] std::size_t size() const { return uses_.size(); }
    // 0 without uses.
    [[nodiscard]] std::int64_t largest_number() const;

    // Calls visit(key, number) for every use, in order of first occurrence.
    template <typename Visit>
    void for_each(const Visit& visit) const {
        for (const auto& use : uses_) {
            const bool pseudo_boolean = use.slot < block_.pb_count;
            const auto key = kelvo::auxiliary_key(pseudo_boolean ? pbct_prefix : bxpr_prefix, formula_, use.instance,
                                                  pseudo_boolean ? use.slot : use.slot - block_.pb_count);
            visit(std::string_view(key), block_.number(use.instance, use.slot));
        }
    }

    // Runs of uses in one instance with consecutive indexes and numbers, in
    // order: (prefix 0 for _pbct_aux or 1 for _bxpr_aux, instance, first
    // index, count, first number).
    struct Run {
        std::int64_t prefix;
        std::int64_t instance;
        std::int64_t first_index;
        std::int64_t count;
        std::int64_t first_number;
    };
    [[nodiscard]] std::vector<Run> runs() const;
    [[nodiscard]] std::int64_t formula() const { return formula_; }

private:
    std::vector<AuxiliaryUse> uses_;
    AuxiliaryBlock block_;
    std::int64_t formula_;
};

}  // namespace vx

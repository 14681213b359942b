#pragma once
// The reader's refusals of what a text says, each of its own type. With
// TextError (model_text_tokenizer.hpp) and NeedsInstances
// (model_text_values.hpp) they are what the clause-assembly reader leaves to
// the host, which words them as the modelling layer does; OperandKindError
// and any other exception out of the reader surface.

#include <stdexcept>

namespace kelvo::model_text {

// A cell call whose index values lie outside its variable's sizes.
class CellOutOfRange : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A number the text computes past 64 bits, which the host's integers hold.
class NumberOutOfRange : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

// An operand of the wrong kind: a Boolean formula where a pseudo-Boolean term
// belongs or the other way round, a cell called with too few or too many
// index values. The host refuses such text too, with TypeError naming the
// engine's types; the reader reports it itself, so that every reader refuses
// it alike, as TypeError.
class OperandKindError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A hard constraint whose value is no formula: a sum without a bound, a number.
class NotAFormula : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

}  // namespace kelvo::model_text

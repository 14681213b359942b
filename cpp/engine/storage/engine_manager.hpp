#pragma once
// The engine manager: holds the storage and the witness interpreter that a
// model build registers, for whoever works with the model afterwards.

#include <memory>
#include <string>
#include <utility>

#include "engine/model_text/formula_encoder.hpp"
#include "engine/storage/wcnf_storage.hpp"
#include "engine/storage/witness_interpreter.hpp"

namespace kelvo {

class EngineManager {
public:
    void set_cnf_storage(std::shared_ptr<WcnfStorage> storage) { storage_ = std::move(storage); }
    [[nodiscard]] const std::shared_ptr<WcnfStorage>& cnf_storage() const { return storage_; }
    void set_witness_interpreter(std::shared_ptr<WitnessInterpreter> interpreter) {
        interpreter_ = std::move(interpreter);
    }
    [[nodiscard]] const std::shared_ptr<WitnessInterpreter>& witness_interpreter() const { return interpreter_; }
    [[nodiscard]] std::shared_ptr<FormulaEncoder> create_formula_encoder(std::string model_name) const {
        return std::make_shared<FormulaEncoder>(std::move(model_name));
    }

private:
    std::shared_ptr<WcnfStorage> storage_;
    std::shared_ptr<WitnessInterpreter> interpreter_;
};

}  // namespace kelvo

#pragma once

#include <ostream>

#include "persist/file_problem.h"

namespace ostrivane {

// So that a failed expectation shows the file and the reason, not raw bytes.
inline void PrintTo(const FileProblem& problem, std::ostream* out) {
    *out << problem.message();
}

}  // namespace ostrivane

#include "persist/file_problem.h"

namespace ostrivane {

std::string FileProblem::message() const {
    return path.string() + ": " + reason;
}

}  // namespace ostrivane

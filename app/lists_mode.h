#pragma once

// `ostrivane --lists [--format text|json] [--config FILE]`: the catalog of
// DNS blacklists, with the drop-ins and the config's own lists.

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrivane {

// 0 when printed; 3 for a usage error or a config or catalog file with a fault.
int runListsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ostrivane

#include "persist/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrivane {
namespace {

struct CommandCase {
    const char* label;
    std::vector<const char*> arguments;  // after the program name
    CommandKind kind;
    std::string host;
};

class CommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLine, Parse) {
    std::vector<const char*> argv{"ostrivane"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const Command command = parseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(command.kind, GetParam().kind);
    EXPECT_EQ(command.host, GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(
        CommandCase{"Nothing", {}, CommandKind::Interactive, ""},
        CommandCase{"EmptyArgument", {""}, CommandKind::Interactive, ""},
        CommandCase{"Help", {"--help"}, CommandKind::Help, ""},
        CommandCase{"Version", {"--version"}, CommandKind::Version, ""},
        CommandCase{"CheckZones", {"--check-zones"}, CommandKind::CheckZones, ""},
        CommandCase{"CheckZonesWithMore",
                    {"--check-zones", "x"},
                    CommandKind::Unattended,
                    "--check-zones x"},
        CommandCase{"Host", {"mail.example.com"}, CommandKind::Unattended, "mail.example.com"},
        CommandCase{"JoinedBySingleBlanks", {"a", "b", "c"}, CommandKind::Unattended, "a b c"},
        CommandCase{"InnerBlanksKept", {" a  b "}, CommandKind::Unattended, " a  b "},
        CommandCase{"QuotesKept", {"\"host\""}, CommandKind::Unattended, "\"host\""},
        CommandCase{"OnlyWholeOptions", {"--help", "me"}, CommandKind::Unattended, "--help me"},
        CommandCase{"NoShortOptions", {"-h"}, CommandKind::Unattended, "-h"},
        CommandCase{"NoPrefixMatch", {"--versions"}, CommandKind::Unattended, "--versions"},
        CommandCase{"TwoEmptyArgumentsMakeABlank", {"", ""}, CommandKind::Unattended, " "}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ostrivane

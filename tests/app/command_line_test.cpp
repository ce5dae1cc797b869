#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrivane {
namespace {

struct CommandCase {
    const char* label;
    std::vector<const char*> arguments;  // after the program name
    CommandKind kind;
    std::string host;
    std::string problem;
    std::vector<std::string> rest = {};  // what a mode that takes the rest receives
};

class CommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLine, Parse) {
    std::vector<const char*> argv{"ostrivane"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const Command command = parseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(command.kind, GetParam().kind);
    EXPECT_EQ(command.host, GetParam().host);
    EXPECT_EQ(command.problem, GetParam().problem);
    EXPECT_EQ(command.arguments, GetParam().rest);
}

TEST(UsageError, NamesTheProblemThenTheForms) {
    const std::string text = usageErrorText("unknown option -x");
    EXPECT_TRUE(text.starts_with("ostrivane: unknown option -x\nUsage: ostrivane [HOST]\n"))
        << text;
    EXPECT_TRUE(text.ends_with("Try 'ostrivane --help' for more.\n")) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(
        CommandCase{"Nothing", {}, CommandKind::Interactive, "", ""},
        CommandCase{"Help", {"--help"}, CommandKind::Help, "", ""},
        CommandCase{"ShortHelp", {"-h"}, CommandKind::Help, "", ""},
        CommandCase{"Version", {"--version"}, CommandKind::Version, "", ""},
        CommandCase{"ShortVersion", {"-V"}, CommandKind::Version, "", ""},
        CommandCase{"CheckZones", {"--check-zones"}, CommandKind::CheckZones, "", ""},
        CommandCase{"CheckZonesTakesTheRest",
                    {"--check-zones", "--format", "json"},
                    CommandKind::CheckZones,
                    "",
                    "",
                    {"--format", "json"}},
        CommandCase{"CheckTakesTheRest",
                    {"--check", "--format", "json", "-"},
                    CommandKind::Check,
                    "",
                    "",
                    {"--format", "json", "-"}},
        CommandCase{"CheckAlone", {"--check"}, CommandKind::Check, "", ""},
        CommandCase{"TimelineTakesTheRest",
                    {"--timeline", "192.0.2.1"},
                    CommandKind::Timeline,
                    "",
                    "",
                    {"192.0.2.1"}},
        CommandCase{"HelpWithMore",
                    {"--help", "me"},
                    CommandKind::UsageError,
                    "",
                    "--help takes no arguments"},
        CommandCase{"UnknownOption", {"-x"}, CommandKind::UsageError, "", "unknown option -x"},
        CommandCase{"NoPrefixMatch",
                    {"--versions"},
                    CommandKind::UsageError,
                    "",
                    "unknown option --versions"},
        CommandCase{"LoneDash", {"-", "host"}, CommandKind::UsageError, "", "unknown option -"},
        CommandCase{"EmptyArgument", {""}, CommandKind::UsageError, "", "the host is blank"},
        CommandCase{
            "TwoEmptyArguments", {"", ""}, CommandKind::UsageError, "", "the host is blank"},
        CommandCase{"WhiteSpace", {" \t "}, CommandKind::UsageError, "", "the host is blank"},
        CommandCase{"Host", {"mail.example.com"}, CommandKind::Unattended, "mail.example.com", ""},
        CommandCase{"JoinedBySingleBlanks", {"a", "b", "c"}, CommandKind::Unattended, "a b c", ""},
        CommandCase{"InnerBlanksKept", {" a  b "}, CommandKind::Unattended, " a  b ", ""},
        CommandCase{"DashLaterIsPartOfTheHost", {"a", "-h"}, CommandKind::Unattended, "a -h", ""},
        CommandCase{"QuotesKept", {"\"host\""}, CommandKind::Unattended, "\"host\"", ""}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace ostrivane

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

#include "app/check_mode.h"
#include "app/lists_mode.h"
#include "app/serve_mode.h"
#include "app/timeline_mode.h"
#include "app/zone_check_mode.h"

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

// Every usage error is two lines on standard error: the problem, then where
// the mode's whole usage is; a monitor still gets its UNKNOWN line.
TEST(UsageError, TheProblemThenWhereTheUsageIs) {
    const std::vector<std::string> bogus{"--bogus"};
    std::istringstream noInput;
    using Run = std::function<int(std::ostream & out, std::ostream & err)>;
    const struct {
        std::string mode;  // "" for the command line as a whole
        Run run;
        std::string problem;
        std::string out = "";
    } cases[] = {
        {"",
         [](std::ostream&, std::ostream& err) {
             err << usageErrorText("unknown option -x");
             return 3;
         },
         "ostrivane: unknown option -x"},
        {"--check", [&](auto& out, auto& err) { return runCheckCommand(bogus, noInput, out, err); },
         "ostrivane --check: --bogus: unknown option"},
        {"--check",
         [&](auto& out, auto& err) {
             return runCheckCommand({"--format=nagios", "mail!"}, noInput, out, err);
         },
         "ostrivane --check: target 'mail!': not an address, address block or host name",
         "OSTRIVANE UNKNOWN - target 'mail!': not an address, address block or host name\n"},
        {"--check-zones",
         [&](auto& out, auto& err) { return runZoneCheckMode(bogus, "sbllist.txt", out, err); },
         "ostrivane --check-zones: --bogus: unknown option"},
        {"--serve", [&](auto& out, auto& err) { return runServeCommand(bogus, out, err); },
         "ostrivane --serve: --bogus: unknown option"},
        {"--timeline", [&](auto& out, auto& err) { return runTimelineCommand(bogus, out, err); },
         "ostrivane: --timeline does not know the option \"--bogus\""},
        {"--lists", [&](auto& out, auto& err) { return runListsCommand(bogus, out, err); },
         "ostrivane --lists: --bogus: unknown option"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(c.run(out, err), 3) << c.problem;
        const std::string hint =
            "Try 'ostrivane " + c.mode + (c.mode.empty() ? "" : " ") + "--help'.";
        EXPECT_EQ(err.str(), c.problem + "\n" + hint + "\n");
        EXPECT_EQ(out.str(), c.out);
    }
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

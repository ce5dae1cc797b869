#include "catalog/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <variant>

#include "support/temp_dir.h"

namespace ostrivane {
namespace {

// Sets an environment variable for one test.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ConfigFile, ReadsEverySetting) {
    Config config;
    auto problem = applyConfigText({"ostrivane.toml", R"(
lists = ["spamhaus-zen", "bl.example.net"]
servers = ["127.0.0.1:5300"]
timeout = 2.5
targets = ["192.0.2.25", "mail:example.org"]
interval = 600
[history]
file = "/var/lib/ostrivane/history.db"
days = 30
[nagios]
warning = "2"
critical = 1
[keys]
spamhaus = "abc123"
)"},
                                   config);
    ASSERT_FALSE(problem) << problem->message();
    EXPECT_EQ(*config.lists, (std::vector<std::string>{"spamhaus-zen", "bl.example.net"}));
    EXPECT_EQ(config.servers, std::vector<std::string>{"127.0.0.1:5300"});
    EXPECT_EQ(config.timeoutSeconds, 2.5);
    EXPECT_EQ(config.historyFile, std::filesystem::path("/var/lib/ostrivane/history.db"));
    EXPECT_EQ(config.historyDays, 30);
    EXPECT_EQ(config.warning, "2");
    EXPECT_EQ(config.critical, "1");
    EXPECT_EQ(config.keys.at("spamhaus"), "abc123");
    ASSERT_TRUE(config.targets);
    ASSERT_EQ(config.targets->size(), 2u);
    EXPECT_EQ((*config.targets)[1].text, "mail:example.org");
    EXPECT_EQ((*config.targets)[1].file, "ostrivane.toml");
    EXPECT_EQ((*config.targets)[1].line, 5);
    EXPECT_EQ(config.intervalSeconds, 600);
}

struct ConfigProblemCase {
    const char* line7;
    const char* problemPart;
};

// Six good lines, then a bad seventh: the message names the file and line 7,
// and never repeats a key.
TEST(ConfigFile, AnErrorOnLine7NamesFileAndLine) {
    const ConfigProblemCase cases[] = {
        {"timeout = \"soon\"", "\"timeout\""},
        {"timeout = 0", "\"timeout\""},
        {"servers = \"127.0.0.1\"", "\"servers\""},
        {"colour = \"red\"", "unknown setting \"colour\""},
        {"keys = { spamhaus = \"has.a.dot.s3cr3t\" }", "the key for \"spamhaus\""},
        {"history = { days = -1 }", "\"days\""},
        {"history = { path = \"x\" }", "unknown field \"path\""},
        {"nagios = { warning = \"\" }", "\"warning\""},
        {"lists = [\"zen\", 3]", "\"lists\""},
        {"timeout = ", ""},
        {"targets = \"192.0.2.1\"", "\"targets\""},
        {"targets = [\"192.0.2.1\", \"\"]", "\"targets\""},
        {"interval = 59", "\"interval\" must be whole seconds, at least 60"},
        {"interval = 90.5", "\"interval\""},
        {"interval = \"15m\"", "\"interval\""},
    };
    for (const auto& c : cases) {
        const std::string text = std::string("# settings\n\n") + "# lists = [\"spamcop\"]\n" +
                                 "# servers = [\"127.0.0.1\"]\n\n# below, the fault\n" + c.line7 +
                                 "\n";
        Config config;
        const auto problem = applyConfigText({"/etc/ostrivane/ostrivane.toml", text}, config);
        ASSERT_TRUE(problem) << c.line7;
        EXPECT_EQ(problem->line, 7) << problem->message();
        EXPECT_EQ(problem->message().rfind("/etc/ostrivane/ostrivane.toml: line 7: ", 0), 0u)
            << problem->message();
        EXPECT_NE(problem->message().find(c.problemPart), std::string::npos) << problem->message();
        EXPECT_EQ(problem->message().find("s3cr3t"), std::string::npos) << problem->message();
    }
}

TEST(ConfigFile, LaterFilesWinAndAKeyFileOthersCanReadIsWarnedOf) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "etc");
    std::filesystem::create_directories(dir / "xdg" / "ostrivane");
    testing::writeBytes(dir / "etc" / "ostrivane.toml", "timeout = 3\nservers = [\"127.0.0.1\"]\n");
    testing::writeBytes(dir / "xdg" / "ostrivane" / "ostrivane.toml",
                        "timeout = 4\n[keys]\nspamhaus = \"k1\"\n");
    ::chmod((dir / "xdg" / "ostrivane" / "ostrivane.toml").c_str(), 0644);
    ScopedEnv etc("OSTRIVANE_CONFIG_DIR", (dir / "etc").c_str());
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir / "xdg").c_str());
    auto loaded = loadConfig(std::nullopt);
    ASSERT_TRUE(std::holds_alternative<Config>(loaded))
        << std::get<CatalogProblem>(loaded).message();
    auto config = std::get<Config>(loaded);
    EXPECT_EQ(config.timeoutSeconds, 4.0);
    EXPECT_EQ(config.servers, std::vector<std::string>{"127.0.0.1"});
    ASSERT_EQ(config.problems.size(), 1u);
    EXPECT_NE(config.problems[0].find("every user of this machine can read it"), std::string::npos);
    EXPECT_EQ(config.problems[0].find("k1"), std::string::npos);

    ::chmod((dir / "xdg" / "ostrivane" / "ostrivane.toml").c_str(), 0600);
    EXPECT_TRUE(std::get<Config>(loadConfig(std::nullopt)).problems.empty());
}

// The exporter's unit sets XDG_CONFIG_HOME=/etc: the one file is read once.
TEST(ConfigFile, TheSameFileIsNotReadTwice) {
    testing::TempDir dir;
    ScopedEnv etc("OSTRIVANE_CONFIG_DIR", (dir / "ostrivane").c_str());
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir.path().string() + "/").c_str());
    EXPECT_EQ(configSearchPath(), std::vector{dir / "ostrivane" / "ostrivane.toml"});
}

TEST(ConfigFile, AnExplicitFileMustExistAndOnlyItIsRead) {
    testing::TempDir dir;
    ScopedEnv etc("OSTRIVANE_CONFIG_DIR", dir.path().c_str());
    testing::writeBytes(dir / "ostrivane.toml", "timeout = 9\n");
    testing::writeBytes(dir / "mine.toml", "timeout = 1\n");
    auto loaded = loadConfig(dir / "mine.toml");
    ASSERT_TRUE(std::holds_alternative<Config>(loaded));
    EXPECT_EQ(std::get<Config>(loaded).timeoutSeconds, 1.0);
    auto missing = loadConfig(dir / "absent.toml");
    ASSERT_TRUE(std::holds_alternative<CatalogProblem>(missing));
    EXPECT_EQ(std::get<CatalogProblem>(missing).file, (dir / "absent.toml").string());
}

// A mistyped id must not silently become a zone, nor a key for no list go unused.
TEST(ConfigFile, NamesTheCatalogDoesNotKnowAreProblemsAtTheirLine) {
    const auto catalog =
        std::get<Catalog>(loadCatalog(OSTRIVANE_SHIPPED_CATALOG, "/nonexistent/lists.d"));
    struct Case {
        const char* text;
        int line;  // 0: no problem
        const char* problemPart;
    } cases[] = {
        {"lists = [\"psbl\",\n  \"spamhaus-zn\"]\n", 2, "the nearest id is \"spamhaus-zen\""},
        {"lists = [\"psbl\", \"bl.example.net\", \"spamhaus-zen\"]\n", 0, ""},
        {"[keys]\nspamhaus = \"k\"\nspamhause = \"k\"\n", 3, "the nearest is \"spamhaus\""},
    };
    for (const auto& c : cases) {
        Config config;
        ASSERT_FALSE(applyConfigText({"/etc/ostrivane/ostrivane.toml", c.text}, config)) << c.text;
        const auto problem = checkConfigNames(catalog, config);
        ASSERT_EQ(problem.has_value(), c.line != 0) << c.text;
        if (problem) {
            EXPECT_EQ(
                problem->message().rfind(
                    "/etc/ostrivane/ostrivane.toml: line " + std::to_string(c.line) + ": ", 0),
                0u)
                << problem->message();
            EXPECT_NE(problem->message().find(c.problemPart), std::string::npos)
                << problem->message();
        }
    }
}

// The config's own [[list]] entries join the catalog like a drop-in.
TEST(ConfigFile, OwnListsJoinTheCatalogAndEnvironmentKeysWin) {
    testing::TempDir dir;
    ScopedEnv etc("OSTRIVANE_CONFIG_DIR", dir.path().c_str());
    testing::writeBytes(
        dir / "mine.toml",
        "[keys]\nspamhaus = \"fromfile\"\n[[list]]\nid = \"ours\"\nzone = \"bl.example.net\"\n"
        "kinds = [\"ipv4\"]\nanswer = [{ code = \"127.0.0.3\", class = \"policy-listing\", "
        "meaning = \"our dynamic ranges\" }]\n");
    auto config = std::get<Config>(loadConfig(dir / "mine.toml"));
    auto loaded = loadCatalog(OSTRIVANE_SHIPPED_CATALOG, dir / "lists.d", config.sources);
    ASSERT_TRUE(std::holds_alternative<Catalog>(loaded))
        << std::get<CatalogProblem>(loaded).message();
    const auto& catalog = std::get<Catalog>(loaded);
    ASSERT_NE(catalog.findId("ours"), nullptr);
    EXPECT_EQ(decodeAnswer(catalog.findId("ours"), {127, 0, 0, 3}).answerClass,
              AnswerClass::PolicyListing);

    ScopedEnv unset("OSTRIVANE_KEY_SPAMHAUS", nullptr);
    EXPECT_EQ(std::get<ProviderKeys>(resolveKeys(catalog, config)).at("spamhaus"), "fromfile");
    ScopedEnv key("OSTRIVANE_KEY_SPAMHAUS", "fromenv");
    EXPECT_EQ(std::get<ProviderKeys>(resolveKeys(catalog, config)).at("spamhaus"), "fromenv");
    ScopedEnv bad("OSTRIVANE_KEY_SPAMHAUS", "bad.s3cr3t");
    auto problem = resolveKeys(catalog, config);
    ASSERT_TRUE(std::holds_alternative<CatalogProblem>(problem));
    EXPECT_EQ(std::get<CatalogProblem>(problem).file, "OSTRIVANE_KEY_SPAMHAUS");
    EXPECT_EQ(std::get<CatalogProblem>(problem).message().find("s3cr3t"), std::string::npos);
}

}  // namespace
}  // namespace ostrivane

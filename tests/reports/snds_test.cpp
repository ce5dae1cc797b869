#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "reports/snds_csv.h"
#include "reports/snds_fetch.h"
#include "support/temp_dir.h"

extern char** environ;

namespace ostrivane {
namespace {

std::string readAs(bool data, const std::string& line) {
    std::ostringstream text;
    const auto times = [&](std::optional<std::int64_t> from, std::optional<std::int64_t> to) {
        text << (from ? std::to_string(*from) : "-") << "-" << (to ? std::to_string(*to) : "-");
    };
    if (!data) {
        const auto lines = parseSndsIpStatus(line);
        for (const auto& s : lines.rows) {
            text << formatIpAddress(s.first) << "-" << formatIpAddress(s.last)
                 << (s.blocked ? " blocked: " : " not blocked: ") << s.reason;
        }
        for (const auto& p : lines.problems) {
            text << "line " << p.line << ": " << p.reason;
        }
        return text.str();
    }
    const auto lines = parseSndsData(line);
    for (const auto& r : lines.rows) {
        text << formatIpAddress(r.address) << " ";
        times(r.activityStart, r.activityEnd);
        text << " " << r.rcptCommands << "/" << r.dataCommands << "/" << r.recipients << " "
             << "GYR"[static_cast<int>(r.filter)] << " " << r.complaintRate << " ("
             << r.complaintPercent.value_or(-1) << ") traps ";
        times(r.trapStart, r.trapEnd);
        text << " x" << r.trapHits;
    }
    for (const auto& p : lines.problems) {
        text << "line " << p.line << ": " << p.reason;
    }
    return text.str();
}

TEST(SndsCsv, ReadsEachLineOrSaysWhyNot) {
    const std::string day = ",6/30/2024 9:00 PM,7/1/2024 8:59 PM,57,56,60,";
    struct Case {
        bool data;
        std::string line;
        std::string expected;  // the start of what it reads as
    } cases[] = {
        {false, "192.0.2.0,192.0.2.255,Yes,Blocked due to user complaints",
         "192.0.2.0-192.0.2.255 blocked: Blocked due to user complaints"},
        {false, "198.51.100.7 , 198.51.100.7,no,", "198.51.100.7-198.51.100.7 not blocked: "},
        {false, "192.0.2.0,192.0.2.255,YES,\"Junked, then \"\"blocked\"\"\"",
         "192.0.2.0-192.0.2.255 blocked: Junked, then \"blocked\""},
        {false, "192.0.2.0,192.0.2.255,Yes,Junked, then blocked",
         "192.0.2.0-192.0.2.255 blocked: Junked, then blocked"},
        {false, "First IP,Last IP,Blocked,Reason", ""},
        {false, "192.0.2.9,192.0.2.1,Yes,x", "line 1: the range 192.0.2.9 to 192.0.2.1 is not"},
        {false, "192.0.2.0,2001:db8::1,Yes,x", "line 1: the range"},
        {false, "192.0.2.0,192.0.2.255,Maybe,x", "line 1: blocked is 'Maybe', not Yes or No"},
        {false, "192.0.2.0,192.0.2.255", "line 1: has 2 fields"},
        {true, "198.51.100.7" + day + "RED,< 0.1%,6/30/2024 11:00 PM,7/1/2024 1:00 AM,3,helo,,",
         "198.51.100.7 1719781200-1719867540 57/56/60 R < 0.1% (0.1) traps 1719788400-1719795600 "
         "x3"},
        {true, "198.51.100.8,6/30/2024 12:00 AM,6/30/2024 12:00 PM,1,1,1,green,2.5%,,,",
         "198.51.100.8 1719705600-1719748800 1/1/1 G 2.5% (2.5) traps --- x0"},
        {true, "2001:db8::8,2024-02-29 23:59,2024-02-29T23:59:00,0,0,0,Yellow,,,,0",
         "2001:db8::8 1709251140-1709251140 0/0/0 Y  (-1) traps --- x0"},
        {true, "198.51.100.9,2/30/2024 9:00 PM,7/1/2024 8:59 PM,1,1,1,RED,1%,,,0",
         "line 1: '2/30/2024 9:00 PM' is not a time"},
        {true, "198.51.100.9,6/30/2024 13:00 PM,7/1/2024 8:59 PM,1,1,1,RED,1%,,,0",
         "line 1: '6/30/2024 13:00 PM' is not a time"},
        {true, "198.51.100.9" + day + "BLUE,1%,,,0", "line 1: filter result 'BLUE' is not"},
        {true, "198.51.100.9,6/30/2024 9:00 PM,7/1/2024 8:59 PM,x,1,1,RED,1%,,,0",
         "line 1: 'x' is not a count"},
        {true, "198.51.100.9" + day + "RED,1%,,,many", "line 1: trap hits 'many' is not a count"},
        {true, "198.51.100.9" + day + "RED", "line 1: has 7 fields, fewer than the 11"},
        {true, "192.0.2.256" + day + "RED,1%,,,0", "line 1: '192.0.2.256' is not an IPv4"},
    };
    for (const auto& c : cases) {
        const std::string text = readAs(c.data, c.line);
        EXPECT_EQ(text.substr(0, std::max(c.expected.size(), std::size_t{1})),
                  c.expected.empty() ? "" : c.expected)
            << c.line << "\n  read as: " << text;
    }
    EXPECT_EQ(parseSndsData("\r\n198.51.100.9" + day + "RED\r\n").problems.at(0).line, 2u);
    EXPECT_EQ(sndsFileKind("\n192.0.2.0,192.0.2.255,No,\n"), SndsFileKind::IpStatus);
    EXPECT_EQ(sndsFileKind("198.51.100.7" + day + "RED,1%,,,0\n"), SndsFileKind::Data);
    EXPECT_EQ(sndsFileKind("<html>\n"), SndsFileKind::Unknown);
}

// SNDS's stand-in on 127.0.0.1 with a certificate made for the test alone.
class LocalSnds {
  public:
    explicit LocalSnds(const testing::TempDir& dir)
        : m_ca((dir / "cert.pem").string()), m_log((dir / "requests.log").string()) {
        const std::string key = (dir / "key.pem").string();
        const std::string request =
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
            "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
            key + "' -out '" + m_ca + "' 2>/dev/null";
        if (std::system(request.c_str()) != 0) {
            return;
        }
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        const std::string script = OSTRIVANE_TEST_DATA_DIR "/../reports/snds_https_server.py";
        const char* argv[] = {"python3",   script.c_str(), m_ca.c_str(),
                              key.c_str(), m_log.c_str(),  nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn(&m_pid, "/usr/bin/python3", &actions, nullptr, const_cast<char**>(argv),
                    environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::FILE* port = fdopen(out[0], "r");
        if (std::fscanf(port, "%d", &m_port) != 1) {
            m_port = 0;
        }
        std::fclose(port);
    }
    ~LocalSnds() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    LocalSnds(const LocalSnds&) = delete;
    LocalSnds& operator=(const LocalSnds&) = delete;

    std::string url(const std::string& folder) const {
        return "https://127.0.0.1:" + std::to_string(m_port) + "/" + folder;
    }
    int port() const { return m_port; }
    const std::string& ca() const { return m_ca; }
    std::string requests() const { return testing::readBytes(m_log); }

  private:
    std::string m_ca, m_log;
    pid_t m_pid = 0;
    int m_port = 0;
};

TEST(SndsFetch, SendsTheKeyOverVerifiedHttpsAndNeverShowsIt) {
    testing::TempDir dir;
    const LocalSnds snds(dir);
    ASSERT_GT(snds.port(), 0) << "the local HTTPS server did not start";
    const std::string key = "S3cret/key";
    struct Case {
        std::string folder;
        bool ownCa;
        std::size_t maxBytes;
        std::string error;  // empty: both files fetched
        int seconds = 10;
    } cases[] = {
        {"snds/", true, 1 << 20, ""},
        {"deny/", true, 1 << 20,
         "SNDS at " + snds.url("deny/") + "ipStatus.aspx (key hidden): HTTP 403"},
        {"big/", true, 1000, "ipStatus.aspx (key hidden): the answer is larger than 1000 bytes"},
        {"slow/", true, 1000, "ipStatus.aspx (key hidden): no whole answer within 1 s", 1},
        {"snds/", false, 1 << 20, "(key hidden): the certificate is not trusted"},
        {"snds/?", true, 1 << 20, "is not an https:// address of a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        SndsFetchSettings settings;
        settings.baseUrl = snds.url(c.folder);
        settings.key = key;
        settings.timeout = std::chrono::seconds(c.seconds);
        settings.caFile = c.ownCa ? snds.ca() : "";
        settings.maxBytes = c.maxBytes;
        const auto fetched = fetchSnds(settings);
        if (c.error.empty()) {
            ASSERT_TRUE(std::holds_alternative<SndsFiles>(fetched)) << std::get<1>(fetched);
            EXPECT_EQ(std::get<0>(fetched).ipStatusCsv, "ipStatus.aspx,192.0.2.1\r\n");
            EXPECT_EQ(std::get<0>(fetched).dataCsv, "data.aspx,192.0.2.1\r\n");
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::string>(fetched));
        const std::string& error = std::get<1>(fetched);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find("S3cret"), std::string::npos) << error;
    }
    EXPECT_NE(snds.requests().find("/snds/ipStatus.aspx?key=S3cret%2Fkey\n"), std::string::npos);
    EXPECT_NE(snds.requests().find("/snds/data.aspx?key=S3cret%2Fkey\n"), std::string::npos);
}

}  // namespace
}  // namespace ostrivane

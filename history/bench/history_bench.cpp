// Fills, measures and hammers a history store. Not installed; used by
// scripts/bench (the figures), the store's process tests (kills, two writers,
// a full disk) and scripts/screenshot (a store behind the status page).
//
//   history_bench measure DIR
//   history_bench fill FILE [--days N] [--addresses N] [--zones N] [--step-minutes N]
//                           [--seed N] [--page OUT.html]
//                           (answers explained by the built-in catalog, as a real run's)
//   history_bench loop FILE [--addresses N] [--zones N] [--seed N] [--runs N]
//                           (records N runs, or until killed; exits 1 on a problem)
//   history_bench verify FILE

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/catalog_file.h"
#include "core/blacklist_table.h"
#include "core/clock.h"
#include "history/history_store.h"
#include "history/status_page.h"

namespace {

using namespace ostrivane;
using Clock = std::chrono::steady_clock;

constexpr EpochMs kMinuteMs = 60 * 1000;

std::string addressOf(int i) {
    return "198.51." + std::to_string(100 + i / 256) + "." + std::to_string(i % 256);
}

std::vector<CheckedZone> zonesOf(int count) {
    std::vector<CheckedZone> zones;
    for (const auto& row : kDefaultBlacklists) {
        if (static_cast<int>(zones.size()) == count) {
            break;
        }
        if (!row.zone.empty()) {
            zones.push_back({std::string(row.zone), std::string(row.name), ZoneHealth::Healthy});
        }
    }
    for (int i = static_cast<int>(zones.size()); i < count; ++i) {
        zones.push_back({"zone" + std::to_string(i) + ".bl.test", "", ZoneHealth::Healthy});
    }
    return zones;
}

// Runs whose listings come and go the way real ones do: rarely start, last
// hours to days, and now and then a list does not answer.
class SyntheticChecks {
  public:
    // By default a listing starts at 0.4 % of the results and a list does not
    // answer 1 % of them; `quiet` makes both rare (a few changes a day).
    SyntheticChecks(int addresses, int zones, unsigned seed, bool quiet = false)
        : m_start(quiet ? 2.5e-6 : 0.004),
          m_noAnswer(quiet ? 0.0 : 0.01),
          m_addresses(addresses),
          m_zones(zonesOf(zones)),
          m_random(seed),
          m_listed(static_cast<std::size_t>(addresses) * m_zones.size(), false) {}

    CheckRun next(EpochMs startedAt) {
        std::uniform_real_distribution<double> chance(0, 1);
        CheckRun run;
        run.startedAt = startedAt;
        run.durationMs = 80;
        run.zones = m_zones;
        run.results.reserve(m_listed.size());
        for (int a = 0; a < m_addresses; ++a) {
            for (std::size_t z = 0; z < m_zones.size(); ++z) {
                const auto at = static_cast<std::size_t>(a) * m_zones.size() + z;
                const double roll = chance(m_random);
                m_listed[at] = m_listed[at] ? roll > 0.04 : roll < m_start;
                CheckResult result;
                result.target = m_addresses == 256 ? "198.51.100.0/24" : addressOf(a);
                result.address = addressOf(a);
                result.zone = m_zones[z].zone;
                if (chance(m_random) < m_noAnswer) {
                    result.verdict = CheckVerdict::NoAnswer;
                } else if (m_listed[at]) {
                    result.verdict = CheckVerdict::Listed;
                    result.answers = {"127.0.0." + std::to_string(2 + z % 8)};
                    result.reason = "Listed for sending spam, see https://" + result.zone +
                                    "/lookup?ip=" + result.address;
                } else {
                    result.verdict = CheckVerdict::NotListed;
                }
                run.results.push_back(std::move(result));
            }
        }
        return run;
    }

  private:
    double m_start;
    double m_noAnswer;
    int m_addresses;
    std::vector<CheckedZone> m_zones;
    std::mt19937 m_random;
    std::vector<bool> m_listed;
};

// What the page shows of a real run: each listing answered with its list's
// first listing code and explained by the built-in catalog, and the first
// address reached by a mail target, with the ways it was reached.
void explainAsARealRunWould(CheckRun& run, const Catalog& catalog) {
    for (auto& result : run.results) {
        if (result.address == addressOf(0)) {
            result.target = "mail:example.org";
            result.via = {"mx mx1.example.org", "spf ip4:198.51.100.0/28"};
        }
        const CatalogList* list = catalog.findZone(result.zone);
        if (list == nullptr || result.answers.empty()) {
            continue;
        }
        const auto code = std::find_if(list->answers.begin(), list->answers.end(), [](auto& a) {
            return a.bit == 0 && a.answerClass != AnswerClass::ListError;
        });
        if (code != list->answers.end()) {
            const auto first = code->first;
            result.answers = {std::to_string(first >> 24) + "." +
                              std::to_string(first >> 16 & 255) + "." +
                              std::to_string(first >> 8 & 255) + "." + std::to_string(first & 255)};
        }
        const auto bytes = parseAnswerCode(result.answers[0]).value_or(0);
        const auto decoded =
            decodeAnswer(list, {std::uint8_t(bytes >> 24), std::uint8_t(bytes >> 16),
                                std::uint8_t(bytes >> 8), std::uint8_t(bytes)});
        result.meanings = {{std::string(answerClassText(decoded.answerClass)), decoded.meaning}};
    }
}

HistoryStore openOrDie(const std::filesystem::path& path) {
    auto opened = HistoryStore::open(path);
    if (auto* problem = std::get_if<HistoryProblem>(&opened)) {
        std::cerr << "history_bench: " << problem->message() << '\n';
        std::exit(1);
    }
    return std::move(std::get<HistoryStore>(opened));
}

void orDie(const std::optional<HistoryProblem>& problem) {
    if (problem) {
        std::cerr << "history_bench: " << problem->message() << '\n';
        std::exit(1);
    }
}

// One check run's work on the store: changes, the record, the retention.
void checkRunOn(HistoryStore& store, CheckRun& run, int keepDays) {
    orDie(store.annotate(run));
    orDie(store.record(run));
    orDie(store.prune(run.startedAt - keepDays * kDayMs));
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::uintmax_t sizeAfter(const std::filesystem::path& path, SyntheticChecks& checks, EpochMs& at,
                         int runs) {
    {
        HistoryStore store = openOrDie(path);
        for (int i = 0; i < runs; ++i, at += 5 * kMinuteMs) {
            CheckRun run = checks.next(at);
            checkRunOn(store, run, 400);
        }
    }  // closed: the write-ahead log is folded into the file
    return std::filesystem::file_size(path);
}

// What the store costs on disk: runs in which nothing changed, and a day of
// five-minute runs with a few listings coming and going, made a year.
void measureSize(const std::filesystem::path& dir) {
    const auto path = dir / "size.sqlite";
    std::filesystem::remove(path);
    SyntheticChecks checks(256, 16, 5, true);
    EpochMs at = nowEpochMs() - 3 * kDayMs;
    const auto first = sizeAfter(path, checks, at, 12);
    const auto unchanged = sizeAfter(path, checks, at, 20);
    std::printf("   %-52s %8.1f KB   (store %.0f KB; at most 40 KB)\n",
                "20 unchanged runs, /24 x 16 zones, grow it by",
                static_cast<double>(unchanged - first) / 1024,
                static_cast<double>(unchanged) / 1024);
    const auto day = sizeAfter(path, checks, at, 24 * 12);
    const double perDay = static_cast<double>(day - unchanged);
    std::printf("   %-52s %8.1f KB   (a year: about %.0f MB; under 100 MB)\n",
                "a day of 5-minute runs of it, a few changes, adds", perDay / 1024,
                (static_cast<double>(day) + 365 * perDay) / 1e6);
}

void measureYear(const std::filesystem::path& dir, int repeats);

int measure(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    constexpr int kRepeats = 11;
    measureSize(dir);

    // A /24 against 16 zones, checked hourly for a day before the timed runs.
    {
        const auto path = dir / "slash24.sqlite";
        std::filesystem::remove(path);
        HistoryStore store = openOrDie(path);
        SyntheticChecks checks(256, 16, 24);
        const EpochMs start = nowEpochMs() - 48 * 60 * kMinuteMs;
        for (int hour = 0; hour < 24; ++hour) {
            CheckRun run = checks.next(start + hour * 60 * kMinuteMs);
            checkRunOn(store, run, 400);
        }
        std::vector<double> times;
        for (int i = 0; i < kRepeats; ++i) {
            CheckRun run = checks.next(start + (24 + i) * 60 * kMinuteMs);
            const auto begin = Clock::now();
            checkRunOn(store, run, 400);
            times.push_back(msSince(begin));
        }
        std::printf("   %-52s %8.2f ms   (min %.2f, max %.2f; median of %d runs)\n",
                    "record 4,096 results (/24 x 16 zones)", median(times),
                    *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()), kRepeats);
        std::printf("   %-52s          (changes + one transaction + retention, after 24 runs)\n",
                    "");
    }

    measureYear(dir, kRepeats);
    return 0;
}

// A year of hourly runs of 16 addresses against 16 zones: the timeline and the page.
void measureYear(const std::filesystem::path& dir, int repeats) {
    {
        const auto path = dir / "year.sqlite";
        std::filesystem::remove(path);
        HistoryStore store = openOrDie(path);
        SyntheticChecks checks(16, 16, 365);
        const int runs = 365 * 24;
        const EpochMs start = nowEpochMs() - static_cast<EpochMs>(runs) * 60 * kMinuteMs;
        const auto filling = Clock::now();
        for (int hour = 0; hour < runs; ++hour) {
            CheckRun run = checks.next(start + hour * 60 * kMinuteMs);
            checkRunOn(store, run, 400);
        }
        const double fillMs = msSince(filling);
        std::vector<double> all;
        std::vector<double> one;
        std::size_t periods = 0;
        for (int i = 0; i < repeats; ++i) {
            // A fresh process's view: open, read, close.
            const auto begin = Clock::now();
            auto opened = HistoryStore::openReadOnly(path);
            auto read = std::get<HistoryStore>(opened).timeline({});
            all.push_back(msSince(begin));
            periods = std::get<std::vector<ListingPeriod>>(read).size();
            const auto single = Clock::now();
            auto readOne = std::get<HistoryStore>(opened).timeline({addressOf(3)});
            one.push_back(msSince(single));
        }
        std::printf("   %-52s %8.2f ms   (max %.2f; %zu periods, %d runs, %.0f MB)\n",
                    "timeline, a year hourly, 16 addresses x 16 zones", median(all),
                    *std::max_element(all.begin(), all.end()), periods, runs,
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6);
        std::printf("   %-52s %8.2f ms\n", "timeline of one address, same store", median(one));
        std::printf("   %-52s %8.2f ms   (filling it: %.1f s)\n",
                    "record 256 results (16 x 16), mean over the year", fillMs / runs,
                    fillMs / 1000);
        const auto page = Clock::now();
        auto recent = std::get<RecentDays>(store.recentDays(nowEpochMs()));
        CheckRun last = checks.next(nowEpochMs());
        const std::string html = renderStatusPage(last, recent);
        std::printf("   %-52s %8.2f ms   (%zu bytes)\n", "status page, 30-day strips, same store",
                    msSince(page), html.size());
    }
}

int fill(const std::filesystem::path& path, const std::map<std::string, std::string>& options) {
    const auto number = [&options](const char* name, int fallback) {
        const auto found = options.find(name);
        return found == options.end() ? fallback : std::atoi(found->second.c_str());
    };
    const int days = number("--days", 40);
    const int step = std::max(1, number("--step-minutes", 60));
    HistoryStore store = openOrDie(path);
    SyntheticChecks checks(number("--addresses", 4), number("--zones", 16),
                           static_cast<unsigned>(number("--seed", 7)));
    const EpochMs end = nowEpochMs();
    const EpochMs runs = days * kDayMs / (step * kMinuteMs);
    auto catalog = parseCatalog({{"catalog.toml", std::string(builtInCatalogText())}});
    CheckRun run;
    for (EpochMs i = runs; i >= 0; --i) {
        run = checks.next(end - i * step * kMinuteMs);
        if (const auto* known = std::get_if<Catalog>(&catalog)) {
            explainAsARealRunWould(run, *known);
        }
        checkRunOn(store, run, 400);
    }
    if (const auto page = options.find("--page"); page != options.end()) {
        auto recent = store.recentDays(run.startedAt);
        std::ofstream(page->second) << renderStatusPage(run, std::get<RecentDays>(recent));
    }
    return 0;
}

// Records until killed: each run whole or not at all is what `verify` checks.
int loop(const std::filesystem::path& path, const std::map<std::string, std::string>& options) {
    const auto number = [&options](const char* name, int fallback) {
        const auto found = options.find(name);
        return found == options.end() ? fallback : std::atoi(found->second.c_str());
    };
    HistoryStore store = openOrDie(path);
    SyntheticChecks checks(number("--addresses", 64), number("--zones", 8),
                           static_cast<unsigned>(number("--seed", 1)));
    EpochMs at = nowEpochMs();
    const int runs = number("--runs", 0);
    for (int count = 1; runs == 0 || count <= runs; ++count) {
        CheckRun run = checks.next(at);
        at += kMinuteMs;
        orDie(store.annotate(run));
        orDie(store.record(run));
        // Keep the last hour: every run also deletes one.
        orDie(store.prune(at - 60 * kMinuteMs));
        if (count == 1) {
            std::cout << "recording" << std::endl;
        }
    }
    return 0;
}

long long single(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return value;
}

int verify(const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::cerr << "verify: cannot open " << path << ": " << sqlite3_errmsg(db) << '\n';
        return 1;
    }
    int failures = 0;
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    while (sqlite3_step(check) == SQLITE_ROW) {
        const std::string line = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
        if (line != "ok") {
            std::cerr << "verify: integrity_check: " << line << '\n';
            ++failures;
        }
    }
    sqlite3_finalize(check);
    const struct {
        const char* what;
        const char* sql;
    } rules[] = {
        {"subjects whose latest run is not recorded",
         "SELECT count(*) FROM subjects WHERE checked_at NOT IN (SELECT started_at FROM runs)"},
        {"runs whose counts are missing",
         "SELECT count(*) FROM runs WHERE result_count > 0 AND counts = ''"},
        {"zones whose health has no change",
         "SELECT count(*) FROM zones z WHERE NOT EXISTS (SELECT 1 FROM zone_changes c "
         "WHERE c.zone = z.zone AND c.at = z.since)"},
        {"listed subjects without their open period",
         "SELECT count(*) FROM subjects s WHERE listed = 1 AND NOT EXISTS (SELECT 1 FROM periods "
         "p WHERE p.id = s.open_period AND p.ended_at IS NULL AND p.started_at = s.listed_since)"},
        {"open periods that are not their subject's",
         "SELECT count(*) FROM periods p WHERE ended_at IS NULL AND NOT EXISTS (SELECT 1 FROM "
         "subjects s WHERE s.open_period = p.id AND s.listed = 1)"},
    };
    for (const auto& rule : rules) {
        const long long count = single(db, rule.sql);
        if (count != 0) {
            std::cerr << "verify: " << rule.what << ": " << count << '\n';
            ++failures;
        }
    }
    std::cout << "runs " << single(db, "SELECT count(*) FROM runs") << ", results "
              << single(db, "SELECT coalesce(sum(result_count), 0) FROM runs") << '\n';
    sqlite3_close(db);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) {
        std::cerr << "usage: history_bench measure DIR | fill FILE [options] | loop FILE "
                     "[options] | verify FILE\n";
        return 2;
    }
    std::map<std::string, std::string> options;
    for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
        options[args[i]] = args[i + 1];
    }
    if (args[0] == "measure") {
        return measure(args[1]);
    }
    if (args[0] == "fill") {
        return fill(args[1], options);
    }
    if (args[0] == "loop") {
        return loop(args[1], options);
    }
    if (args[0] == "verify") {
        return verify(args[1]);
    }
    std::cerr << "history_bench: unknown command " << args[0] << '\n';
    return 2;
}

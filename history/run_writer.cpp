#include "history/run_writer.h"

#include <map>
#include <set>
#include <span>
#include <utility>

#include "history/day_states.h"
#include "history/listing_streak.h"
#include "history/sqlite_statement.h"

namespace ostrivane {

std::optional<CheckVerdict> parseCheckVerdict(std::string_view text) {
    for (auto verdict :
         {CheckVerdict::Listed, CheckVerdict::NotListed, CheckVerdict::NoAnswer,
          CheckVerdict::ListError, CheckVerdict::BrokenZone, CheckVerdict::NotCovered}) {
        if (checkVerdictText(verdict) == text) {
            return verdict;
        }
    }
    return std::nullopt;
}

std::string joinAnswers(const std::vector<std::string>& answers) {
    std::string joined;
    for (const auto& answer : answers) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += answer;
    }
    return joined;
}

std::vector<std::string> splitAnswers(std::string_view text) {
    std::vector<std::string> answers;
    while (!text.empty()) {
        const auto blank = text.find(' ');
        if (blank != 0) {
            answers.emplace_back(text.substr(0, blank));
        }
        if (blank == std::string_view::npos) {
            break;
        }
        text.remove_prefix(blank + 1);
    }
    return answers;
}

namespace {

std::string joinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (const auto& line : lines) {
        joined += line;
        joined += '\n';
    }
    return joined;
}

// An address and zone as the store left it.
struct Subject {
    std::int64_t id = 0;
    EpochMs checkedAt = 0;
    ListingStreak streak;
    std::optional<std::int64_t> period;
    std::string verdict;
    std::string answers;
    std::string reason;
    DayRecord days;
};

}  // namespace

// Writes one run as its results come: each result into its subject's row and
// listing periods, its target's address; then the run's row of counts and its
// zones' changes.
class RunRecorder::Writer {
  public:
    Writer(sqlite3* db, EpochMs startedAt) : m_db(db), m_at(startedAt) {}

    void add(std::span<const CheckResult> results) {
        std::string_view target;
        std::string_view address;
        for (const auto& result : results) {
            if (result.target != target || result.address != address) {
                target = result.target;
                address = result.address;
                m_target.bind(1, result.target).bind(2, result.address).bind(3, at()).run();
            }
            writeResult(result);
        }
    }

    std::int64_t finish(const CheckRun& run) {
        writeZones(run);
        std::string counts;
        for (const auto& [verdict, count] : m_counts) {
            counts += (counts.empty() ? "" : " ") + verdict + "=" + std::to_string(count);
        }
        sqlite::Statement insertRun(
            db(),
            "INSERT INTO runs (started_at, duration_ms, result_count, unresolved_targets, "
            "counts, new_listings, cleared) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        insertRun.bind(1, at()).bind(2, run.durationMs).bind(3, m_results);
        insertRun.bind(4, joinLines(run.unresolvedTargets)).bind(5, counts);
        insertRun.bind(6, m_opened).bind(7, m_closed).run();
        return sqlite3_last_insert_rowid(db());
    }

  private:
    sqlite3* db() const { return m_db; }
    EpochMs at() const { return m_at; }

    // A zone is one row, rewritten in place; its health's changes add a row each.
    void writeZones(const CheckRun& run) {
        sqlite::Statement find(db(), "SELECT health, checked_at FROM zones WHERE zone = ?1");
        sqlite::Statement change(
            db(), "INSERT OR REPLACE INTO zone_changes (zone, at, health) VALUES (?1, ?2, ?3)");
        sqlite::Statement upsert(db(),
                                 "INSERT INTO zones (zone, name, health, since, checked_at) "
                                 "VALUES (?1, ?2, ?3, ?4, ?4) ON CONFLICT (zone) DO UPDATE SET "
                                 "name = excluded.name, checked_at = excluded.checked_at, "
                                 "health = excluded.health, since = CASE WHEN health = "
                                 "excluded.health THEN since ELSE excluded.since END");
        for (const auto& zone : run.zones) {
            const std::string health(zoneHealthText(zone.health));
            find.bind(1, zone.zone);
            const bool known = find.step();
            const bool newer = !known || find.integer(1) <= at();
            const bool changed = !known || find.text(0) != health;
            find.reset();
            if (!newer) {
                continue;  // a run older than the zone's state says nothing new of it
            }
            if (changed) {
                change.bind(1, zone.zone).bind(2, at()).bind(3, health).run();
            }
            upsert.bind(1, zone.zone).bind(2, zone.name).bind(3, health).bind(4, at()).run();
        }
    }

    Subject findOrAdd(const CheckResult& result) {
        Subject subject;
        m_find.bind(1, result.address).bind(2, result.zone);
        if (!m_find.step()) {
            m_find.reset();
            m_insert.bind(1, result.address).bind(2, result.zone).bind(3, at()).run();
            subject.id = sqlite3_last_insert_rowid(db());
            subject.checkedAt = at();
            return subject;
        }
        subject.id = m_find.integer(0);
        subject.checkedAt = m_find.integer(1);
        if (auto listed = m_find.optionalInteger(2)) {
            subject.streak.listed = *listed != 0;
        }
        subject.streak.knownAt = m_find.optionalInteger(3);
        subject.streak.listedSince = m_find.optionalInteger(4);
        subject.period = m_find.optionalInteger(5);
        subject.verdict = m_find.text(6);
        subject.answers = m_find.text(7);
        subject.reason = m_find.text(8);
        subject.days = {m_find.integer(9), m_find.text(10)};
        m_find.reset();
        return subject;
    }

    // Opens a listing period when the address became listed, closes it when
    // it is no longer listed.
    void movePeriod(Subject& subject, const ListingStreak& after, const CheckResult& result) {
        const bool wasListed = subject.streak.listed.value_or(false);
        const bool isListed = after.listed.value_or(false);
        if (isListed && !wasListed) {
            m_openPeriod.bind(1, subject.id).bind(2, at()).bind(3, joinAnswers(result.answers));
            m_openPeriod.bind(4, result.reason).run();
            subject.period = sqlite3_last_insert_rowid(db());
            ++m_opened;
        } else if (wasListed && !isListed) {
            if (subject.period) {
                m_closePeriod.bind(1, *subject.period).bind(2, at()).run();
                ++m_closed;
            }
            subject.period.reset();
        }
    }

    void writeResult(const CheckResult& result) {
        ++m_results;
        ++m_counts[std::string(checkVerdictText(result.verdict))];
        Subject subject = findOrAdd(result);
        const ListingStreak after = advance(subject.streak, result.verdict, at());
        movePeriod(subject, after, result);
        subject.streak = after;
        if (at() >= subject.checkedAt) {
            subject.checkedAt = at();
            subject.verdict = checkVerdictText(result.verdict);
            subject.answers = joinAnswers(result.answers);
            subject.reason = result.reason;
        }
        subject.days = markDay(subject.days, dayNumberOf(at()), dayStateOf(result.verdict));
        std::optional<std::int64_t> listed;
        if (after.listed) {
            listed = *after.listed ? 1 : 0;
        }
        m_update.bind(1, subject.id).bind(2, subject.checkedAt).bind(3, listed);
        m_update.bind(4, after.knownAt).bind(5, after.listedSince).bind(6, subject.period);
        m_update.bind(7, subject.verdict).bind(8, subject.answers).bind(9, subject.reason);
        m_update.bind(10, subject.days.lastDay).bind(11, subject.days.days).run();
    }

    sqlite3* m_db;
    EpochMs m_at;
    std::map<std::string, std::int64_t> m_counts;
    std::int64_t m_results = 0;
    std::int64_t m_opened = 0;
    std::int64_t m_closed = 0;
    sqlite::Statement m_find{m_db,
                             "SELECT id, checked_at, listed, known_at, listed_since, open_period, "
                             "verdict, answers, reason, last_day, days FROM subjects "
                             "WHERE address = ?1 AND zone = ?2"};
    sqlite::Statement m_insert{
        m_db, "INSERT INTO subjects (address, zone, checked_at) VALUES (?1, ?2, ?3)"};
    sqlite::Statement m_openPeriod{m_db,
                                   "INSERT INTO periods (subject_id, started_at, answers, reason) "
                                   "VALUES (?1, ?2, ?3, ?4)"};
    sqlite::Statement m_closePeriod{m_db, "UPDATE periods SET ended_at = ?2 WHERE id = ?1"};
    sqlite::Statement m_target{
        m_db,
        "INSERT INTO targets (target, address, last_run_at) VALUES (?1, ?2, ?3) "
        "ON CONFLICT (target, address) DO UPDATE SET last_run_at = "
        "max(last_run_at, excluded.last_run_at)"};
    sqlite::Statement m_update{
        m_db,
        "UPDATE subjects SET checked_at = ?2, listed = ?3, known_at = ?4, listed_since = ?5, "
        "open_period = ?6, verdict = ?7, answers = ?8, reason = ?9, last_day = ?10, days = ?11 "
        "WHERE id = ?1"};
};

RunRecorder::RunRecorder(sqlite3* db, EpochMs startedAt)
    : m_writer(std::make_unique<Writer>(db, startedAt)) {}

RunRecorder::~RunRecorder() = default;

void RunRecorder::add(std::span<const CheckResult> results) {
    m_writer->add(results);
}

std::int64_t RunRecorder::finish(const CheckRun& run) {
    return m_writer->finish(run);
}

std::int64_t writeRun(sqlite3* db, const CheckRun& run) {
    RunRecorder recorder(db, run.startedAt);
    std::set<std::pair<std::string_view, std::string_view>> seen;
    for (const auto& result : run.results) {
        // The same address and zone twice in one run: the first counts.
        if (seen.emplace(result.address, result.zone).second) {
            recorder.add(std::span(&result, 1));
        }
    }
    return recorder.finish(run);
}

}  // namespace ostrivane

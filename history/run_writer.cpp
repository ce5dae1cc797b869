#include "history/run_writer.h"

#include <set>
#include <utility>

#include "history/listing_streak.h"
#include "history/sqlite_statement.h"

namespace ostrivane {

std::optional<CheckVerdict> parseCheckVerdict(std::string_view text) {
    for (auto verdict : {CheckVerdict::Listed, CheckVerdict::NotListed, CheckVerdict::NoAnswer,
                         CheckVerdict::ListError, CheckVerdict::BrokenZone}) {
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

}  // namespace

std::int64_t writeRun(sqlite3* db, const CheckRun& run) {
    const EpochMs at = run.startedAt;
    sqlite::Statement insertRun(db,
                                "INSERT INTO runs (started_at, duration_ms, result_count, "
                                "unresolved_targets) VALUES (?1, ?2, 0, ?3)");
    insertRun.bind(1, at).bind(2, run.durationMs).bind(3, joinLines(run.unresolvedTargets)).run();
    const std::int64_t runId = sqlite3_last_insert_rowid(db);

    sqlite::Statement insertZone(
        db,
        "INSERT INTO run_zones (run_id, position, zone, name, health) VALUES (?1, ?2, ?3, ?4, ?5)");
    std::int64_t position = 0;
    for (const auto& zone : run.zones) {
        insertZone.bind(1, runId)
            .bind(2, position++)
            .bind(3, zone.zone)
            .bind(4, zone.name)
            .bind(5, zoneHealthText(zone.health))
            .run();
    }

    sqlite::Statement upsertTarget(
        db,
        "INSERT INTO targets (target, address, last_run_at) VALUES (?1, ?2, ?3) "
        "ON CONFLICT (target, address) DO UPDATE SET last_run_at = "
        "max(last_run_at, excluded.last_run_at)");
    std::set<std::pair<std::string_view, std::string_view>> targets;
    for (const auto& result : run.results) {
        if (targets.emplace(result.target, result.address).second) {
            upsertTarget.bind(1, result.target).bind(2, result.address).bind(3, at).run();
        }
    }

    sqlite::Statement findSubject(db,
                                  "SELECT id, listed, known_at, listed_since, open_period "
                                  "FROM subjects WHERE address = ?1 AND zone = ?2");
    sqlite::Statement insertSubject(
        db, "INSERT INTO subjects (address, zone, checked_at) VALUES (?1, ?2, ?3)");
    sqlite::Statement insertResult(db,
                                   "INSERT OR IGNORE INTO results (run_id, subject_id, verdict, "
                                   "answers, reason) VALUES (?1, ?2, ?3, ?4, ?5)");
    sqlite::Statement openPeriod(db,
                                 "INSERT INTO periods (subject_id, started_at, answers, reason) "
                                 "VALUES (?1, ?2, ?3, ?4)");
    sqlite::Statement closePeriod(db, "UPDATE periods SET ended_at = ?2 WHERE id = ?1");
    sqlite::Statement updateSubject(
        db,
        "UPDATE subjects SET listed = ?2, known_at = ?3, listed_since = ?4, open_period = ?5 "
        "WHERE id = ?1");

    std::int64_t written = 0;
    for (const auto& result : run.results) {
        std::int64_t subject = 0;
        ListingStreak before;
        std::optional<std::int64_t> period;
        findSubject.bind(1, result.address).bind(2, result.zone);
        if (findSubject.step()) {
            subject = findSubject.integer(0);
            if (auto listed = findSubject.optionalInteger(1)) {
                before.listed = *listed != 0;
            }
            before.knownAt = findSubject.optionalInteger(2);
            before.listedSince = findSubject.optionalInteger(3);
            period = findSubject.optionalInteger(4);
            findSubject.reset();
        } else {
            findSubject.reset();
            insertSubject.bind(1, result.address).bind(2, result.zone).bind(3, at).run();
            subject = sqlite3_last_insert_rowid(db);
        }

        insertResult.bind(1, runId)
            .bind(2, subject)
            .bind(3, checkVerdictText(result.verdict))
            .bind(4, joinAnswers(result.answers))
            .bind(5, result.reason)
            .run();
        if (sqlite3_changes(db) == 0) {
            continue;  // the same address and zone twice in one run: the first counts
        }
        ++written;

        const ListingStreak after = advance(before, result.verdict, at);
        const bool wasListed = before.listed.value_or(false);
        const bool isListed = after.listed.value_or(false);
        if (isListed && !wasListed) {
            openPeriod.bind(1, subject)
                .bind(2, at)
                .bind(3, joinAnswers(result.answers))
                .bind(4, result.reason)
                .run();
            period = sqlite3_last_insert_rowid(db);
        } else if (wasListed && !isListed) {
            if (period) {
                closePeriod.bind(1, *period).bind(2, at).run();
            }
            period.reset();
        }
        // Most results leave the streak as it was: their subjects are
        // stamped all at once below, in two statements instead of one each.
        if (after.listed == before.listed && after.listedSince == before.listedSince) {
            continue;
        }
        std::optional<std::int64_t> listed;
        if (after.listed) {
            listed = *after.listed ? 1 : 0;
        }
        updateSubject.bind(1, subject)
            .bind(2, listed)
            .bind(3, after.knownAt)
            .bind(4, after.listedSince)
            .bind(5, period)
            .run();
    }

    sqlite::Statement stampChecked(db,
                                   "UPDATE subjects SET checked_at = ?1 WHERE checked_at < ?1 AND "
                                   "id IN (SELECT subject_id FROM results WHERE run_id = ?2)");
    stampChecked.bind(1, at).bind(2, runId).run();
    sqlite::Statement stampKnown(
        db,
        "UPDATE subjects SET known_at = ?1 WHERE (known_at IS NULL OR known_at < ?1) AND id IN "
        "(SELECT subject_id FROM results WHERE run_id = ?2 AND verdict IN ('listed', "
        "'not-listed'))");
    stampKnown.bind(1, at).bind(2, runId).run();

    sqlite::Statement countResults(db, "UPDATE runs SET result_count = ?2 WHERE id = ?1");
    countResults.bind(1, runId).bind(2, written).run();
    return runId;
}

}  // namespace ostrivane

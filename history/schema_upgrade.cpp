// Version 2 kept every result of every run (results, run_zones). Version 3
// keeps what changes; the upgrade derives it from those tables, keeps every
// run, listing period, subject and target, and then drops them.

#include <map>
#include <string>

#include "core/clock.h"
#include "history/day_states.h"
#include "history/history_schema.h"
#include "history/sqlite_statement.h"

namespace ostrivane::schema {

namespace {

constexpr const char* kAddColumns = R"sql(
ALTER TABLE runs ADD COLUMN counts TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN new_listings INTEGER NOT NULL DEFAULT 0;
ALTER TABLE runs ADD COLUMN cleared INTEGER NOT NULL DEFAULT 0;
ALTER TABLE subjects ADD COLUMN verdict TEXT NOT NULL DEFAULT '';
ALTER TABLE subjects ADD COLUMN answers TEXT NOT NULL DEFAULT '';
ALTER TABLE subjects ADD COLUMN reason TEXT NOT NULL DEFAULT '';
ALTER TABLE subjects ADD COLUMN last_day INTEGER NOT NULL DEFAULT 0;
ALTER TABLE subjects ADD COLUMN days TEXT NOT NULL DEFAULT '';
CREATE TABLE zones (
    zone TEXT PRIMARY KEY,
    name TEXT NOT NULL,
    health TEXT NOT NULL,
    since INTEGER NOT NULL,
    checked_at INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE zone_changes (
    zone TEXT NOT NULL,
    at INTEGER NOT NULL,
    health TEXT NOT NULL,
    PRIMARY KEY (zone, at)
) WITHOUT ROWID;
UPDATE runs SET
    new_listings = (SELECT count(*) FROM periods p WHERE p.started_at = runs.started_at),
    cleared = (SELECT count(*) FROM periods p WHERE p.ended_at = runs.started_at);
)sql";

void countVerdicts(sqlite3* db) {
    sqlite::Statement counts(db,
                             "SELECT run_id, verdict, count(*) FROM results "
                             "GROUP BY run_id, verdict ORDER BY run_id, verdict");
    sqlite::Statement update(db, "UPDATE runs SET counts = ?2 WHERE id = ?1");
    std::int64_t run = -1;
    std::string text;
    const auto flush = [&] {
        if (run >= 0) {
            update.bind(1, run).bind(2, text).run();
        }
    };
    while (counts.step()) {
        if (counts.integer(0) != run) {
            flush();
            run = counts.integer(0);
            text.clear();
        }
        text +=
            (text.empty() ? "" : " ") + counts.text(1) + "=" + std::to_string(counts.integer(2));
    }
    flush();
}

struct Latest {
    std::string verdict;
    std::string answers;
    std::string reason;
    DayRecord days;
};

// The latest result and the day letters of each subject, from the runs of the
// days that the record keeps.
void currentStates(sqlite3* db) {
    const std::int64_t lastDay =
        dayNumberOf(sqlite::queryInteger(db, "SELECT coalesce(max(started_at), 0) FROM runs"));

    sqlite::Statement runs(
        db, "SELECT id, started_at FROM runs WHERE started_at >= ?1 ORDER BY started_at, id");
    runs.bind(1, (lastDay - kRecordedDays + 1) * kDayMs);
    sqlite::Statement results(
        db, "SELECT subject_id, verdict, answers, reason FROM results WHERE run_id = ?1");
    std::map<std::int64_t, Latest> latest;
    while (runs.step()) {
        const std::int64_t day = dayNumberOf(runs.integer(1));
        results.bind(1, runs.integer(0));
        while (results.step()) {
            Latest& subject = latest[results.integer(0)];
            subject.verdict = results.text(1);
            subject.answers = results.text(2);
            subject.reason = results.text(3);
            const auto verdict = subject.verdict == "listed"       ? CheckVerdict::Listed
                                 : subject.verdict == "not-listed" ? CheckVerdict::NotListed
                                                                   : CheckVerdict::NoAnswer;
            subject.days = markDay(subject.days, day, dayStateOf(verdict));
        }
        results.reset();
    }
    sqlite::Statement update(db,
                             "UPDATE subjects SET verdict = ?2, answers = ?3, reason = ?4, "
                             "last_day = ?5, days = ?6 WHERE id = ?1");
    for (const auto& [id, subject] : latest) {
        update.bind(1, id)
            .bind(2, subject.verdict)
            .bind(3, subject.answers)
            .bind(4, subject.reason)
            .bind(5, subject.days.lastDay)
            .bind(6, subject.days.days)
            .run();
    }
}

// Each zone's health changes, replayed from the zones of every run.
void zoneStates(sqlite3* db) {
    sqlite::Statement zones(db,
                            "SELECT ru.started_at, z.zone, z.name, z.health FROM run_zones z "
                            "JOIN runs ru ON ru.id = z.run_id "
                            "ORDER BY ru.started_at, ru.id, z.position");
    sqlite::Statement change(
        db, "INSERT OR REPLACE INTO zone_changes (zone, at, health) VALUES (?1, ?2, ?3)");
    sqlite::Statement state(db,
                            "INSERT OR REPLACE INTO zones (zone, name, health, since, checked_at) "
                            "VALUES (?1, ?2, ?3, ?4, ?5)");
    struct Zone {
        std::string name;
        std::string health;
        EpochMs since = 0;
        EpochMs checkedAt = 0;
    };
    std::map<std::string, Zone> latest;
    while (zones.step()) {
        const EpochMs at = zones.integer(0);
        auto [found, added] = latest.try_emplace(zones.text(1));
        Zone& zone = found->second;
        if (added || zone.health != zones.text(3)) {
            zone.health = zones.text(3);
            zone.since = at;
            change.bind(1, found->first).bind(2, at).bind(3, zone.health).run();
        }
        zone.name = zones.text(2);
        zone.checkedAt = at;
    }
    for (const auto& [name, zone] : latest) {
        state.bind(1, name)
            .bind(2, zone.name)
            .bind(3, zone.health)
            .bind(4, zone.since)
            .bind(5, zone.checkedAt)
            .run();
    }
}

}  // namespace

void upgradeFromVersion2(sqlite3* db) {
    sqlite::execute(db, kAddColumns);
    countVerdicts(db);
    currentStates(db);
    zoneStates(db);
    sqlite::execute(
        db, "DROP TABLE results; DROP TABLE run_zones; PRAGMA user_version = " + std::to_string(3));
}

}  // namespace ostrivane::schema

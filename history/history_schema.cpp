#include "history/history_schema.h"

#include <map>
#include <string>
#include <vector>

#include "history/day_states.h"
#include "history/history_store.h"
#include "history/run_writer.h"
#include "history/sqlite_statement.h"

namespace ostrivane::schema {

namespace {

// Version 3. Times are milliseconds since 1970-01-01T00:00:00Z.
//
// The store keeps what changes, not every result: a run adds one row of
// counts; an address and zone (a subject) is one row with its current state
// and a letter per day of the last weeks, rewritten in place; a listing is one
// row from start to end; a zone's health is one row per change. A run in
// which nothing changed therefore adds a few hundred bytes, however many
// addresses it checked. Everything of a run is written in one transaction, so
// a killed run leaves none of it.
constexpr const char* kVersion3 = R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started_at INTEGER NOT NULL,
    duration_ms INTEGER NOT NULL,
    result_count INTEGER NOT NULL,
    counts TEXT NOT NULL DEFAULT '',       -- "verdict=count" for each verdict found, by blanks
    new_listings INTEGER NOT NULL DEFAULT 0,
    cleared INTEGER NOT NULL DEFAULT 0,
    unresolved_targets TEXT NOT NULL DEFAULT ''  -- one per line
);
CREATE INDEX runs_by_start ON runs (started_at);

-- Each zone's latest state, and one row for each change of its health.
CREATE TABLE zones (
    zone TEXT PRIMARY KEY,
    name TEXT NOT NULL,
    health TEXT NOT NULL,
    since INTEGER NOT NULL,       -- the first run that found it in this health
    checked_at INTEGER NOT NULL   -- the latest run that asked it
) WITHOUT ROWID;
CREATE TABLE zone_changes (
    zone TEXT NOT NULL,
    at INTEGER NOT NULL,
    health TEXT NOT NULL,         -- the health from this run on
    PRIMARY KEY (zone, at)
) WITHOUT ROWID;

CREATE TABLE subjects (
    id INTEGER PRIMARY KEY,
    address TEXT NOT NULL,
    zone TEXT NOT NULL,
    checked_at INTEGER NOT NULL,  -- start of the latest run with a result for it
    listed INTEGER,               -- last known verdict: 1 listed, 0 not listed, NULL none yet
    known_at INTEGER,             -- start of the run that gave it
    listed_since INTEGER,         -- start of the current listing
    open_period INTEGER,          -- periods.id of the current listing
    verdict TEXT NOT NULL DEFAULT '',  -- the latest result as it was
    answers TEXT NOT NULL DEFAULT '',
    reason TEXT NOT NULL DEFAULT '',
    last_day INTEGER NOT NULL DEFAULT 0,  -- UTC day (since 1970) of days' last letter
    days TEXT NOT NULL DEFAULT '',        -- a letter per day: L listed, C clear, U unknown
    UNIQUE (address, zone)
);

CREATE TABLE periods (
    id INTEGER PRIMARY KEY,
    subject_id INTEGER NOT NULL,
    started_at INTEGER NOT NULL,  -- the first run that found the listing
    ended_at INTEGER,             -- the first run that found it gone; NULL while it lasts
    answers TEXT NOT NULL,
    reason TEXT NOT NULL          -- at the start
);
CREATE INDEX periods_by_subject ON periods (subject_id, started_at);
CREATE INDEX periods_by_end ON periods (ended_at);

-- The addresses each target (host name, block, address as typed) stood for.
CREATE TABLE targets (
    target TEXT NOT NULL COLLATE NOCASE,
    address TEXT NOT NULL,
    last_run_at INTEGER NOT NULL,
    PRIMARY KEY (target, address)
) WITHOUT ROWID;
)sql";

// Version 1 kept the raw record only:
//   runs (id, started_at, duration_ms)
//   results (run_id, address, zone, verdict, answers, reason)
// Its runs are replayed, oldest first, into the current tables.
void upgradeFromVersion1(sqlite3* db) {
    sqlite::execute(db,
                    "ALTER TABLE runs RENAME TO v1_runs;"
                    "ALTER TABLE results RENAME TO v1_results;");
    create(db);
    sqlite::Statement runs(
        db, "SELECT id, started_at, duration_ms FROM v1_runs ORDER BY started_at, id");
    sqlite::Statement results(db,
                              "SELECT address, zone, verdict, answers, reason FROM v1_results "
                              "WHERE run_id = ?1 ORDER BY rowid");
    while (runs.step()) {
        CheckRun run;
        run.startedAt = runs.integer(1);
        run.durationMs = runs.integer(2);
        results.bind(1, runs.integer(0));
        while (results.step()) {
            CheckResult result;
            result.address = results.text(0);
            result.target = result.address;
            result.zone = results.text(1);
            result.verdict = parseCheckVerdict(results.text(2)).value_or(CheckVerdict::NoAnswer);
            result.answers = splitAnswers(results.text(3));
            result.reason = results.text(4);
            bool seen = false;
            for (const auto& zone : run.zones) {
                seen = seen || zone.zone == result.zone;
            }
            if (!seen) {
                run.zones.push_back({result.zone, "", ZoneHealth::Healthy});
            }
            run.results.push_back(std::move(result));
        }
        results.reset();
        writeRun(db, run);
    }
    sqlite::execute(db, "DROP TABLE v1_results; DROP TABLE v1_runs;");
}

}  // namespace

void create(sqlite3* db) {
    sqlite::execute(db, kVersion3);
    sqlite::execute(db, "PRAGMA application_id = " + std::to_string(kApplicationId) +
                            "; PRAGMA user_version = " + std::to_string(kHistorySchemaVersion));
}

void upgrade(sqlite3* db, int fromVersion) {
    if (fromVersion == 1) {
        upgradeFromVersion1(db);
    } else if (fromVersion == 2) {
        upgradeFromVersion2(db);
    }
}

}  // namespace ostrivane::schema

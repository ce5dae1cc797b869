#include "history/store_reads.h"

#include <algorithm>
#include <string_view>
#include <tuple>

#include "core/ip_address.h"
#include "history/day_states.h"
#include "history/sqlite_statement.h"

namespace ostrivane {

namespace {

// Sorts addresses as numbers: 192.0.2.9 before 192.0.2.10, IPv4 before IPv6,
// and text that is no address after them all.
std::tuple<bool, IpAddress, std::string> addressKey(const std::string& text) {
    if (const auto address = parseIpAddress(text)) {
        return {false, *address, {}};
    }
    return {true, IpAddress{}, text};
}

}  // namespace

std::vector<ListingPeriod> readTimeline(sqlite3* db, const std::vector<std::string>& addresses) {
    std::vector<ListingPeriod> periods;
    sqlite::Transaction transaction(db, "BEGIN");
    constexpr std::string_view kSelect =
        "SELECT s.address, s.zone, p.started_at, p.ended_at, p.reason "
        "FROM subjects s JOIN periods p ON p.subject_id = s.id";
    sqlite::Statement all(db, kSelect);
    sqlite::Statement ofAddress(db, std::string(kSelect) + " WHERE s.address = ?1");
    auto collect = [&periods](sqlite::Statement& query) {
        while (query.step()) {
            periods.push_back({query.text(0), query.text(1), query.integer(2),
                               query.optionalInteger(3), query.text(4)});
        }
        query.reset();
    };
    if (addresses.empty()) {
        collect(all);
    }
    for (const auto& address : addresses) {
        ofAddress.bind(1, address);
        collect(ofAddress);
    }
    transaction.commit();
    std::sort(periods.begin(), periods.end(), [](const ListingPeriod& a, const ListingPeriod& b) {
        return std::forward_as_tuple(addressKey(a.address), a.zone, a.from) <
               std::forward_as_tuple(addressKey(b.address), b.zone, b.from);
    });
    periods.erase(std::unique(periods.begin(), periods.end()), periods.end());
    return periods;
}

std::vector<std::string> readAddressesOfTarget(sqlite3* db, const std::string& target) {
    std::vector<std::string> addresses;
    sqlite::Statement query(db, "SELECT address FROM targets WHERE target = ?1");
    query.bind(1, target);
    while (query.step()) {
        addresses.push_back(query.text(0));
    }
    return addresses;
}

bool readKnowsAddress(sqlite3* db, const std::string& address) {
    sqlite::Statement query(db, "SELECT 1 FROM subjects WHERE address = ?1 LIMIT 1");
    query.bind(1, address);
    return query.step();
}

RecentDays readRecentDays(sqlite3* db, EpochMs now, int dayCount) {
    RecentDays recent;
    recent.dayCount = std::max(dayCount, 1);
    const std::int64_t firstDay = dayNumberOf(now) - (recent.dayCount - 1);
    recent.firstDay = firstDay * kDayMs;
    sqlite::Statement query(
        db, "SELECT address, zone, last_day, days FROM subjects WHERE last_day >= ?1");
    query.bind(1, firstDay);
    while (query.step()) {
        const DayRecord record{query.integer(2), query.text(3)};
        DayStrip strip{query.text(0), query.text(1), {}};
        for (int day = 0; day < recent.dayCount; ++day) {
            strip.days.push_back(stateOn(record, firstDay + day));
        }
        recent.strips.push_back(std::move(strip));
    }
    std::stable_sort(recent.strips.begin(), recent.strips.end(),
                     [](const DayStrip& a, const DayStrip& b) {
                         return std::forward_as_tuple(addressKey(a.address), a.zone) <
                                std::forward_as_tuple(addressKey(b.address), b.zone);
                     });
    return recent;
}

}  // namespace ostrivane

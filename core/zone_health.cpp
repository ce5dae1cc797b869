#include "core/zone_health.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "core/address.h"

namespace ostrivane {

std::string_view zoneHealthText(ZoneHealth health) {
    switch (health) {
        case ZoneHealth::Healthy:
            return "healthy";
        case ZoneHealth::ListsEverything:
            return "lists everything";
        case ZoneHealth::RefusesUs:
            return "refuses us";
        case ZoneHealth::EmptyOrDead:
            break;
    }
    return "empty or dead";
}

namespace {

bool isErrorCode(const Resolution& answer) {
    return answer.status == ResolveStatus::Resolved && answer.address &&
           !isListingAnswer(*answer.address);
}

bool isListing(const Resolution& answer) {
    return answer.status == ResolveStatus::Resolved && answer.address &&
           isListingAnswer(*answer.address);
}

}  // namespace

ZoneHealth classifyZone(const Resolution& answerFor127_0_0_2,
                        const Resolution& answerFor127_0_0_1) {
    if (isErrorCode(answerFor127_0_0_2) || isErrorCode(answerFor127_0_0_1)) {
        return ZoneHealth::RefusesUs;
    }
    if (isListing(answerFor127_0_0_1)) {
        return ZoneHealth::ListsEverything;
    }
    if (isListing(answerFor127_0_0_2) && answerFor127_0_0_1.status == ResolveStatus::NotFound) {
        return ZoneHealth::Healthy;
    }
    return ZoneHealth::EmptyOrDead;
}

namespace {

using Clock = std::chrono::steady_clock;

// The only thing a worker writes. It is shared with the workers, so a worker
// that outlives the check (still blocked in the resolver) writes into memory
// that is still alive; once the check has closed its slot, its late answer is
// dropped.
struct AnswerBoard {
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<std::optional<Resolution>> answers;
    std::vector<char> closed;  // not vector<bool>: one byte per slot

    explicit AnswerBoard(std::size_t slots) : answers(slots), closed(slots, 0) {}

    void post(std::size_t slot, const Resolution& answer) {
        const std::lock_guard lock(mutex);
        if (closed[slot] == 0) {
            answers[slot] = answer;
        }
        answered.notify_all();
    }
};

// A worker owns copies of everything it uses except the resolver, which the
// caller keeps alive (see checkZones).
void ask(const std::shared_ptr<AnswerBoard>& board, std::size_t slot, Resolver& resolver,
         const std::string& name) {
    Resolution answer{ResolveStatus::NoAnswer, {}};
    try {
        answer = resolver.resolve(name);
    } catch (...) {
        // A resolver that throws has not answered; an exception must not end
        // the process from a worker thread.
    }
    board->post(slot, answer);
}

void startAsking(const std::shared_ptr<AnswerBoard>& board, std::size_t slot, Resolver& resolver,
                 std::string name) {
    try {
        std::thread([board, slot, &resolver, name = std::move(name)] {
            ask(board, slot, resolver, name);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the question goes unanswered rather than
        // blocking the caller.
        board->post(slot, Resolution{ResolveStatus::NoAnswer, {}});
    }
}

constexpr std::string_view kReversed127_0_0_2 = "2.0.0.127";
constexpr std::string_view kReversed127_0_0_1 = "1.0.0.127";

}  // namespace

std::vector<ZoneCheck> checkZones(const BlacklistTable& table, Resolver& resolver,
                                  ZoneCheckLimits limits) {
    std::vector<ZoneCheck> checks;
    for (int row = 0; row < kRowCount; ++row) {
        auto zone = table.zone(row);
        if (!zone.empty()) {
            checks.push_back(
                {row, table.name(row), std::move(zone), {}, {}, ZoneHealth::EmptyOrDead});
        }
    }

    // Two slots per zone: 2 * i for 127.0.0.2, 2 * i + 1 for 127.0.0.1. Both
    // questions of a zone are asked at once, so a zone whose server never
    // answers costs one resolver time-out, not two in a row.
    const auto slots = checks.size() * 2;
    auto board = std::make_shared<AnswerBoard>(slots);
    std::vector<Clock::time_point> deadlines(slots);
    const auto wholeDeadline = Clock::now() + limits.whole;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const auto deadline = std::min(Clock::now() + limits.perZone, wholeDeadline);
        deadlines[2 * i] = deadlines[2 * i + 1] = deadline;
        startAsking(board, 2 * i, resolver, queryName(kReversed127_0_0_2, checks[i].zone));
        startAsking(board, 2 * i + 1, resolver, queryName(kReversed127_0_0_1, checks[i].zone));
    }

    std::vector<ProbeAnswer> probes(slots);
    std::unique_lock lock(board->mutex);
    for (;;) {
        const auto now = Clock::now();
        auto nextDeadline = Clock::time_point::max();
        bool open = false;
        for (std::size_t slot = 0; slot < slots; ++slot) {
            if (board->closed[slot] != 0) {
                continue;
            }
            if (board->answers[slot]) {
                probes[slot].resolution = *board->answers[slot];
                board->closed[slot] = 1;
            } else if (deadlines[slot] <= now) {
                probes[slot] = {Resolution{ResolveStatus::NoAnswer, {}}, true};
                board->closed[slot] = 1;
            } else {
                open = true;
                nextDeadline = std::min(nextDeadline, deadlines[slot]);
            }
        }
        if (!open) {
            break;
        }
        board->answered.wait_until(lock, nextDeadline);
    }
    lock.unlock();

    for (std::size_t i = 0; i < checks.size(); ++i) {
        checks[i].for127_0_0_2 = probes[2 * i];
        checks[i].for127_0_0_1 = probes[2 * i + 1];
        checks[i].health =
            classifyZone(checks[i].for127_0_0_2.resolution, checks[i].for127_0_0_1.resolution);
    }
    return checks;
}

}  // namespace ostrivane

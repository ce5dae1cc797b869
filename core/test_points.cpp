#include "core/test_points.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/address.h"
#include "core/verdict.h"
#include "core/zone_health.h"

namespace ostrivane {

namespace {

// What the questions of one wait share with their threads; a thread that
// outlives the wait keeps it alive until it ends.
struct Batch {
    std::mutex mutex;
    std::condition_variable answered;
    std::vector<std::optional<Resolution>> answers;
    std::size_t outstanding = 0;
};

void askOne(const std::shared_ptr<Batch>& batch, std::shared_ptr<Resolver> resolver,
            std::size_t slot, std::string name) {
    try {
        std::thread([batch, resolver = std::move(resolver), slot, name = std::move(name)] {
            Resolution answer = resolver->resolve(name);
            const std::lock_guard lock(batch->mutex);
            batch->answers[slot] = std::move(answer);
            --batch->outstanding;
            batch->answered.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread for it: the question stays unanswered, as one lost would.
        const std::lock_guard lock(batch->mutex);
        --batch->outstanding;
    }
}

const Resolution* errorCodeOf(const TestPointAnswers& answers) {
    for (const Resolution* answer : {&answers.for127_0_0_2, &answers.for127_0_0_1}) {
        if (answer->status == ResolveStatus::Resolved && answer->address &&
            !isListingAnswer(*answer->address)) {
            return answer;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<std::string> brokenListText(const TestPointAnswers& answers) {
    switch (classifyZone(answers.for127_0_0_2, answers.for127_0_0_1)) {
        case ZoneHealth::Healthy:
            return std::nullopt;
        case ZoneHealth::ListsEverything:
            return std::string(kListsEverything);
        case ZoneHealth::RefusesUs:
            return std::string(kListErrorPrefix) + formatDottedQuad(*errorCodeOf(answers)->address);
        case ZoneHealth::EmptyOrDead:
            break;
    }
    return std::string(kNotAWorkingList);
}

TestPointAsker::TestPointAsker(std::shared_ptr<Resolver> resolver, std::chrono::milliseconds bound)
    : m_resolver(std::move(resolver)), m_bound(bound) {}

std::optional<std::vector<TestPointAnswers>> TestPointAsker::ask(
    const std::vector<std::string>& zones, const std::function<bool()>& keepWaiting) const {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kBetweenEvents{10};
    const auto deadline = Clock::now() + m_bound;

    auto batch = std::make_shared<Batch>();
    batch->answers.resize(zones.size() * 2);
    batch->outstanding = batch->answers.size();
    for (std::size_t i = 0; i < zones.size(); ++i) {
        askOne(batch, m_resolver, 2 * i, "2.0.0.127." + zones[i]);
        askOne(batch, m_resolver, 2 * i + 1, "1.0.0.127." + zones[i]);
    }

    std::unique_lock lock(batch->mutex);
    while (batch->outstanding > 0 && Clock::now() < deadline) {
        const auto until = std::min(deadline, Clock::now() + kBetweenEvents);
        if (batch->answered.wait_until(lock, until, [&] { return batch->outstanding == 0; })) {
            break;
        }
        lock.unlock();
        if (!keepWaiting()) {
            return std::nullopt;
        }
        lock.lock();
    }

    std::vector<TestPointAnswers> answers(zones.size());
    for (std::size_t i = 0; i < zones.size(); ++i) {
        answers[i].for127_0_0_2 = batch->answers[2 * i].value_or(Resolution{});
        answers[i].for127_0_0_1 = batch->answers[2 * i + 1].value_or(Resolution{});
    }
    return answers;
}

}  // namespace ostrivane

#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolver.h"

namespace ostrivane::testing {

inline Resolution listed(std::array<std::uint8_t, 4> address) {
    return {ResolveStatus::Resolved, address};
}
inline const Resolution kNotFound{ResolveStatus::NotFound, {}};
inline const Resolution kNoAnswer{ResolveStatus::NoAnswer, {}};

// Answers by name from several threads at once. Names under a hanging zone are
// held back until the resolver is destroyed (or a safety limit passes, so a
// check that waited for them fails instead of hanging). Its destructor waits
// until every call has left, so a worker that the check abandoned never calls
// into a destroyed resolver.
class ThreadSafeFakeResolver final : public Resolver {
  public:
    static constexpr auto kSafetyLimit = std::chrono::seconds(10);

    ThreadSafeFakeResolver& answer(const std::string& name, std::array<std::uint8_t, 4> address) {
        m_script[name] = listed(address);
        return *this;
    }
    ThreadSafeFakeResolver& noAnswer(const std::string& name) {
        m_script[name] = kNoAnswer;
        return *this;
    }
    ThreadSafeFakeResolver& hangUnder(const std::string& zone) {
        m_hanging.insert(zone);
        return *this;
    }
    ThreadSafeFakeResolver& throwFor(const std::string& name) {
        m_throwing.insert(name);
        return *this;
    }
    // Every call waits until this many calls have arrived: only a check that
    // asks them all at once gets its answers in time.
    ThreadSafeFakeResolver& gather(int calls) {
        m_gather = calls;
        return *this;
    }

    ~ThreadSafeFakeResolver() override {
        std::unique_lock lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_inFlight == 0; });
    }

    Resolution resolve(std::string_view name) override {
        std::unique_lock lock(m_mutex);
        const std::string asked(name);
        m_asked.push_back(asked);
        ++m_arrived;
        ++m_inFlight;
        m_mostInFlight = std::max(m_mostInFlight, m_inFlight);
        m_changed.notify_all();

        m_changed.wait_for(lock, kSafetyLimit,
                           [this] { return m_released || m_arrived >= m_gather; });
        if (isHanging(asked)) {
            m_changed.wait_for(lock, kSafetyLimit, [this] { return m_released; });
        }
        const auto found = m_script.find(asked);
        const Resolution result = found == m_script.end() ? kNotFound : found->second;
        const bool throws = m_throwing.contains(asked);
        --m_inFlight;
        m_changed.notify_all();
        if (throws) {
            throw std::runtime_error("resolver broke");
        }
        return result;
    }

    std::vector<std::string> askedSorted() {
        const std::lock_guard lock(m_mutex);
        auto asked = m_asked;
        std::sort(asked.begin(), asked.end());
        return asked;
    }
    int mostInFlight() {
        const std::lock_guard lock(m_mutex);
        return m_mostInFlight;
    }

  private:
    bool isHanging(const std::string& name) const {
        return std::any_of(m_hanging.begin(), m_hanging.end(),
                           [&name](const std::string& zone) { return name.ends_with("." + zone); });
    }

    std::map<std::string, Resolution> m_script;
    std::set<std::string> m_hanging;
    std::set<std::string> m_throwing;
    int m_gather = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
    int m_arrived = 0;
    int m_inFlight = 0;
    int m_mostInFlight = 0;
    std::vector<std::string> m_asked;
};

}  // namespace ostrivane::testing

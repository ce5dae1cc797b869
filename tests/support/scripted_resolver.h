#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolver.h"

namespace ostrivane::testing {

// Answers from a script and records every name asked, in order. Names that
// are not in the script do not exist. Threads may share it (the test points
// are asked from threads); a stalled name holds its question until release().
class ScriptedResolver final : public Resolver {
  public:
    ScriptedResolver& answer(std::string name, std::array<std::uint8_t, 4> address) {
        const std::lock_guard lock(m_mutex);
        m_script[std::move(name)] = {ResolveStatus::Resolved, address};
        return *this;
    }
    ScriptedResolver& noAnswer(std::string name) {
        const std::lock_guard lock(m_mutex);
        m_script[std::move(name)] = {ResolveStatus::NoAnswer, {}};
        return *this;
    }
    ScriptedResolver& notFound(const std::string& name) {
        const std::lock_guard lock(m_mutex);
        m_script.erase(name);
        return *this;
    }
    // A working list: 127.0.0.2 listed, 127.0.0.1 not.
    ScriptedResolver& workingList(const std::string& zone) {
        return answer("2.0.0.127." + zone, {127, 0, 0, 2});
    }
    ScriptedResolver& stall(std::string name) {
        const std::lock_guard lock(m_mutex);
        m_stalled.insert(std::move(name));
        return *this;
    }
    // Lets every stalled question go on, and those asked later too.
    void release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_release.notify_all();
    }

    Resolution resolve(std::string_view name) override {
        std::unique_lock lock(m_mutex);
        m_asked.emplace_back(name);
        if (m_stalled.contains(std::string(name))) {
            m_release.wait(lock, [this] { return m_released; });
        }
        const auto found = m_script.find(std::string(name));
        return found == m_script.end() ? Resolution{ResolveStatus::NotFound, {}} : found->second;
    }

    std::vector<std::string> asked() const {
        const std::lock_guard lock(m_mutex);
        return m_asked;
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_release;
    std::map<std::string, Resolution, std::less<>> m_script;
    std::set<std::string> m_stalled;
    std::vector<std::string> m_asked;
    bool m_released = false;
};

}  // namespace ostrivane::testing

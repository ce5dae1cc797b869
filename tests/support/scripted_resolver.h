#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/resolver.h"

namespace ostrivane::testing {

// Answers from a script and records every name asked, in order. Names that
// are not in the script do not exist.
class ScriptedResolver final : public Resolver {
  public:
    ScriptedResolver& answer(std::string name, std::array<std::uint8_t, 4> address) {
        m_script[std::move(name)] = {ResolveStatus::Resolved, address};
        return *this;
    }
    ScriptedResolver& noAnswer(std::string name) {
        m_script[std::move(name)] = {ResolveStatus::NoAnswer, {}};
        return *this;
    }

    Resolution resolve(std::string_view name) override {
        m_asked.emplace_back(name);
        const auto found = m_script.find(std::string(name));
        return found == m_script.end() ? Resolution{ResolveStatus::NotFound, {}} : found->second;
    }

    const std::vector<std::string>& asked() const { return m_asked; }

  private:
    std::map<std::string, Resolution, std::less<>> m_script;
    std::vector<std::string> m_asked;
};

}  // namespace ostrivane::testing

#include "mail/mail_dns.h"

#include <algorithm>

namespace ostrivane {

const char* dnsTypeText(DnsType type) {
    switch (type) {
        case DnsType::A:
            return "A";
        case DnsType::AAAA:
            return "AAAA";
        case DnsType::MX:
            return "MX";
        case DnsType::TXT:
            return "TXT";
    }
    return "?";
}

std::string normalDomainName(std::string_view name) {
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

const DnsAnswer* DnsAnswerBook::find(const DnsQuestion& question) {
    if (const auto found = m_answers.find(question); found != m_answers.end()) {
        return &found->second;
    }
    m_wanted.insert(question);
    return nullptr;
}

bool DnsAnswerBook::askWanted(const DnsRound& round) {
    if (m_wanted.empty()) {
        return false;
    }
    const std::vector<DnsQuestion> questions(m_wanted.begin(), m_wanted.end());
    m_wanted.clear();
    auto answers = round(questions);
    for (std::size_t i = 0; i < questions.size(); ++i) {
        // A round that comes back short leaves the rest unanswered, never asked again.
        m_answers[questions[i]] = i < answers.size() ? std::move(answers[i]) : DnsAnswer{};
    }
    return true;
}

}  // namespace ostrivane

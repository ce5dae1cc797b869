#pragma once

// A table of DNS records for the mail tests: names not in it are NXDOMAIN, a
// name with records of other types only answers "no data". It counts the
// rounds and every question asked.

#include <map>
#include <string>
#include <vector>

#include "core/ip_address.h"
#include "mail/mail_dns.h"

namespace ostrivane {

struct FakeRecord {
    std::string name;
    DnsType type;
    std::vector<std::string> values;  // addresses, "10 mx1.example.org", TXT texts
    DnsOutcome outcome = DnsOutcome::Answered;
};

class FakeDns {
  public:
    explicit FakeDns(const std::vector<FakeRecord>& records) {
        for (const auto& record : records) {
            m_records[{record.name, record.type}] = record;
        }
    }

    DnsRound round() {
        return [this](const std::vector<DnsQuestion>& questions) {
            ++rounds;
            std::vector<DnsAnswer> answers;
            for (const auto& question : questions) {
                ++asked[question];
                answers.push_back(answer(question));
            }
            return answers;
        };
    }

    int rounds = 0;
    std::map<DnsQuestion, int> asked;

  private:
    DnsAnswer answer(const DnsQuestion& question) const {
        const auto found = m_records.find(question);
        if (found == m_records.end()) {
            for (const auto& [key, record] : m_records) {
                if (key.name == question.name) {
                    return DnsAnswer{DnsOutcome::NoData, {}, {}, {}};
                }
            }
            return DnsAnswer{DnsOutcome::NoName, {}, {}, {}};
        }
        DnsAnswer answer{found->second.outcome, {}, {}, {}};
        for (const auto& value : found->second.values) {
            if (question.type == DnsType::A || question.type == DnsType::AAAA) {
                answer.addresses.push_back(*parseIpAddress(value));
            } else if (question.type == DnsType::MX) {
                const auto space = value.find(' ');
                answer.mx.push_back({std::stoi(value.substr(0, space)), value.substr(space + 1)});
            } else {
                answer.texts.push_back(value);
            }
        }
        return answer;
    }

    std::map<DnsQuestion, FakeRecord> m_records;
};

}  // namespace ostrivane

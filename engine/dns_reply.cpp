#include "engine/dns_reply.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace ostrivane {

namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::uint16_t kClassIn = 1;
constexpr std::uint16_t kTypeCname = 5;
constexpr int kRcodeNxdomain = 3;
// More compression pointers than this in one name is a loop.
constexpr int kMaxPointers = 32;

std::string lowered(std::string_view name) {
    std::string text(name);
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t length) : m_data(data), m_length(length) {}

    bool has(std::size_t count) const { return m_offset + count <= m_length; }
    std::size_t offset() const { return m_offset; }
    void skip(std::size_t count) { m_offset += count; }

    std::uint16_t u16(std::size_t at) const {
        return static_cast<std::uint16_t>((m_data[at] << 8) | m_data[at + 1]);
    }
    std::optional<std::uint16_t> take16() {
        if (!has(2)) {
            return std::nullopt;
        }
        m_offset += 2;
        return u16(m_offset - 2);
    }
    const std::uint8_t* at(std::size_t offset) const { return m_data + offset; }

    // A possibly compressed name starting at `from`; `end` receives the offset
    // just past it in the message (not past the target of a pointer).
    std::optional<std::string> nameAt(std::size_t from, std::size_t& end) const {
        std::string name;
        std::size_t at = from;
        int pointers = 0;
        bool jumped = false;
        while (at < m_length) {
            const std::uint8_t length = m_data[at];
            if ((length & 0xC0U) == 0xC0U) {
                if (at + 1 >= m_length || ++pointers > kMaxPointers) {
                    return std::nullopt;
                }
                if (!jumped) {
                    end = at + 2;
                }
                jumped = true;
                at = static_cast<std::size_t>(((length & 0x3FU) << 8) | m_data[at + 1]);
                continue;
            }
            if ((length & 0xC0U) != 0 || at + 1 + length > m_length) {
                return std::nullopt;
            }
            if (length == 0) {
                if (!jumped) {
                    end = at + 1;
                }
                return lowered(name);
            }
            if (!name.empty()) {
                name += '.';
            }
            name.append(reinterpret_cast<const char*>(m_data + at + 1), length);
            at += 1 + length;
        }
        return std::nullopt;
    }

    std::optional<std::string> takeName() {
        std::size_t end = 0;
        auto name = nameAt(m_offset, end);
        if (name) {
            m_offset = end;
        }
        return name;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_length;
    std::size_t m_offset = kHeaderSize;
};

struct RawRecord {
    std::string owner;
    std::uint16_t type = 0;
    std::size_t data = 0;  // offset of the record data in the message
    std::uint16_t length = 0;
};

DnsRecords unusable(std::string problem) {
    DnsRecords records;
    records.problem = std::move(problem);
    return records;
}

// Adds one record of the asked type; false when its data is malformed.
bool addRecord(DnsRecords& records, const Reader& reader, const RawRecord& raw) {
    const std::uint8_t* data = reader.at(raw.data);
    switch (static_cast<RecordType>(raw.type)) {
        case RecordType::A:
            if (raw.length != 4) {
                return false;
            }
            records.v4.push_back({data[0], data[1], data[2], data[3]});
            return true;
        case RecordType::Aaaa: {
            if (raw.length != 16) {
                return false;
            }
            std::array<std::uint8_t, 16> bytes{};
            std::copy(data, data + 16, bytes.begin());
            records.v6.push_back(bytes);
            return true;
        }
        case RecordType::Mx: {
            std::size_t end = 0;
            auto host = raw.length > 2 ? reader.nameAt(raw.data + 2, end) : std::nullopt;
            if (!host || end > raw.data + raw.length) {
                return false;
            }
            records.mx.push_back({reader.u16(raw.data), std::move(*host)});
            return true;
        }
        case RecordType::Txt: {
            std::string text;
            for (std::size_t at = 0; at < raw.length;) {
                const std::size_t part = data[at];
                if (at + 1 + part > raw.length) {
                    return false;
                }
                text.append(reinterpret_cast<const char*>(data + at + 1), part);
                at += 1 + part;
            }
            records.txt.push_back(std::move(text));
            return true;
        }
    }
    return false;
}

std::optional<std::vector<RawRecord>> answerRecords(Reader& reader, std::uint16_t questions,
                                                    std::uint16_t answers) {
    for (std::uint16_t i = 0; i < questions; ++i) {
        if (!reader.takeName() || !reader.has(4)) {
            return std::nullopt;
        }
        reader.skip(4);
    }
    std::vector<RawRecord> records;
    for (std::uint16_t i = 0; i < answers; ++i) {
        auto owner = reader.takeName();
        if (!owner || !reader.has(10)) {
            return std::nullopt;
        }
        RawRecord raw{std::move(*owner), reader.u16(reader.offset()), 0,
                      reader.u16(reader.offset() + 8)};
        const std::uint16_t klass = reader.u16(reader.offset() + 2);
        reader.skip(10);
        raw.data = reader.offset();
        if (!reader.has(raw.length)) {
            return std::nullopt;
        }
        reader.skip(raw.length);
        if (klass == kClassIn) {
            records.push_back(std::move(raw));
        }
    }
    return records;
}

}  // namespace

DnsRecords readDnsReply(const std::uint8_t* reply, std::size_t length, std::string_view name,
                        RecordType type) {
    if (reply == nullptr || length < kHeaderSize) {
        return unusable("a reply too short to read");
    }
    Reader reader(reply, length);
    const int rcode = reply[3] & 0x0F;
    if (rcode == kRcodeNxdomain) {
        DnsRecords records;
        records.outcome = DnsRecords::Outcome::NoSuchName;
        return records;
    }
    if (rcode != 0) {
        return unusable("response code " + std::to_string(rcode));
    }
    const auto raw = answerRecords(reader, reader.u16(4), reader.u16(6));
    if (!raw) {
        return unusable("a malformed reply");
    }
    std::map<std::string, std::string> cnames;
    for (const auto& record : *raw) {
        std::size_t end = 0;
        if (record.type == kTypeCname) {
            if (auto target = reader.nameAt(record.data, end)) {
                cnames.emplace(record.owner, std::move(*target));
            }
        }
    }
    std::string owner = lowered(name);
    for (int hops = 0; cnames.count(owner) != 0; ++hops) {
        if (hops == kMaxCnameChain) {
            return unusable("a CNAME loop at " + owner);
        }
        owner = cnames.at(owner);
    }
    DnsRecords records;
    bool foreign = false;
    for (const auto& record : *raw) {
        if (record.type != static_cast<std::uint16_t>(type)) {
            continue;
        }
        if (record.owner != owner) {
            foreign = true;
        } else if (!addRecord(records, reader, record)) {
            return unusable("a malformed record");
        }
    }
    const bool any =
        !records.v4.empty() || !records.v6.empty() || !records.mx.empty() || !records.txt.empty();
    if (!any && foreign) {
        return unusable("records for another name only");
    }
    records.outcome = any ? DnsRecords::Outcome::Records : DnsRecords::Outcome::NoRecord;
    return records;
}

}  // namespace ostrivane

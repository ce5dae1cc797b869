#pragma once

// The results of the addresses whose zones have not all answered yet, and
// their assembly into a run's results: an address's results are delivered,
// zones in order and addresses in the order given, as soon as every zone has
// answered for it or can no longer (its health for the family is bad). At
// most a bounded number wait, so memory stays flat however many addresses.

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "engine/asked.h"
#include "engine/list_answer.h"
#include "engine/list_engine.h"
#include "engine/zone_health_book.h"

namespace ostrivane {

// What has come for one address from one zone.
struct ResultProgress {
    ListAnswer answer;
    std::string reason;
    bool done = false;
};

class HeldResults {
  public:
    HeldResults(const std::vector<CheckAddress>& addresses, const std::vector<AskedZone>& zones)
        : m_addresses(addresses), m_zones(zones) {}

    // Makes room for the results of `address`; false while too many wait.
    bool hold(std::size_t address);
    // Where the answer of `zone` for `address` goes; none when the address
    // has been delivered already (asked before its zone proved bad).
    ResultProgress* progressOf(std::size_t address, std::size_t zone);

    // Delivers, in order, each address whose zones have all answered, once
    // the zones' health is known.
    void deliverReady(const ZoneHealthBook& zones, const AddressResultSink& sink);
    // At the end of the run: every address not delivered yet, with what it has.
    void deliverRest(const ZoneHealthBook& zones, const AddressResultSink& sink);

  private:
    bool complete(std::size_t address, const std::vector<ResultProgress>& held,
                  const ZoneHealthBook& zones) const;
    void deliverFirst(const ZoneHealthBook& zones, const AddressResultSink& sink);

    const std::vector<CheckAddress>& m_addresses;
    const std::vector<AskedZone>& m_zones;
    std::deque<std::vector<ResultProgress>> m_held;  // from address m_delivered on
    std::size_t m_delivered = 0;
};

}  // namespace ostrivane

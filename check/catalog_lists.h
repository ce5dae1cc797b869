#pragma once

// The catalog's part in a check: which zones a run asks when the user names
// none or names a list by its id, the zone a key makes of a list, and what the
// lists' answers mean once they are in.

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/key_zone.h"
#include "engine/list_engine.h"
#include "results/check_result.h"

namespace ostrivane {

struct CatalogUse {
    const Catalog* catalog = nullptr;  // none: zones are asked as given, answers stay bare
    ProviderKeys keys;
    std::optional<std::vector<std::string>> configLists;  // the config file's `lists`
};

// Each name an id of the catalog or a zone: a catalog list is asked through
// its key's zone when there is a key for its provider.
std::vector<AskedZone> zonesNamed(const std::vector<std::string>& names, const CatalogUse& use);

// The zone as asked for a list of the catalog, and its name.
AskedZone zoneOfList(const CatalogList& list, const CatalogUse& use);

// A run's zones by what they are asked about: addresses, or the domain names
// of mail targets (RHSBL). A catalog list of kind "domains" is a domain list,
// one of kind "ipv4" or "ipv6" an address list (a list of both is both), and a
// zone the catalog does not know an address list.
struct ChosenZones {
    std::vector<AskedZone> addresses;
    std::vector<AskedZone> domains;
};

// Each name an id of the catalog or a zone, as zonesNamed, put on its side.
ChosenZones zonesChosen(const std::vector<std::string>& names, const CatalogUse& use);

// Zones as they are (a list file's): put on their side, asked without a key.
ChosenZones zonesSplit(const std::vector<AskedZone>& zones, const CatalogUse& use);

// The catalog's default set: its default address lists and domain lists.
ChosenZones defaultZones(const CatalogUse& use);

// Adds each zone to `into` that is not there yet.
void addZones(std::vector<AskedZone>& into, const std::vector<AskedZone>& zones);

// After the lists have answered: every zone asked with a key is shown without
// it (in the zones, the results and the reasons), each answer of a catalog
// list gets its class and meaning, an answer the list documents as an error
// makes the verdict list-error, and the run's notices say, once per list, that
// a list refuses public resolvers or looks dead.
void applyCatalog(CheckRun& run, const CatalogUse& use);

// The same for a run whose results come address by address: `zones` are the
// zones as asked; decode each address's results as they come, then finish
// the run's zones and notices.
class CatalogDecoder {
  public:
    CatalogDecoder(const std::vector<std::string>& zones, const CatalogUse& use);
    ~CatalogDecoder();
    CatalogDecoder(const CatalogDecoder&) = delete;
    CatalogDecoder& operator=(const CatalogDecoder&) = delete;

    void decode(std::vector<CheckResult>& results);
    void finish(CheckRun& run);

  private:
    struct Lists;
    const CatalogUse& m_use;
    std::unique_ptr<Lists> m_lists;
    std::set<std::string, std::less<>> m_refused;  // zones as asked
};

// "NAME (ZONE) looks dead (why): remove it from your lists or update the
// catalog" for a list the catalog marks dead or retired, or whose test
// addresses show it empty, dead or listing everything; nothing otherwise.
std::optional<std::string> deadListNotice(const CatalogList& list, const std::string& shown,
                                          ZoneHealth health);

}  // namespace ostrivane

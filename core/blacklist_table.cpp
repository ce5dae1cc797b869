#include "core/blacklist_table.h"

namespace ostrivane {

const std::array<DefaultBlacklist, kRowCount> kDefaultBlacklists{{
    {"CBL", "cbl.abuseat.org"},
    {"Spamhaus SBL", "sbl.spamhaus.org"},
    {"Spamhaus XBL", "xbl.spamhaus.org"},
    {"Spamhaus PBL", "pbl.spamhaus.org"},
    {"SpamCop", "bl.spamcop.net"},
    {"DSBL", "list.dsbl.org"},
    {"SORBS", "dnsbl.sorbs.net"},
    {"NJABL", "dnsbl.njabl.org"},
    {"NJABL Dynablock", "dynablock.njabl.org"},
    {"CASA-CBL", "cbl.anti-spam.org.cn"},
    {"SPEWS Level 1", "l1.spews.dnsbl.sorbs.net"},
    {"SPEWS Level 2", "l2.spews.dnsbl.sorbs.net"},
    {"UCEPROTECTL1", "dnsbl-1.uceprotect.net"},
    {"UCEPROTECTL2", "dnsbl-2.uceprotect.net"},
    {"UCEPROTECTL3", "dnsbl-3.uceprotect.net"},
    {"PSBL", "psbl.surriel.com"},
    {},
    {},
    {},
    {},
}};

Rgb backgroundOf(RowHighlight highlight) {
    switch (highlight) {
        case RowHighlight::Querying:
            return kCyan;
        case RowHighlight::Listed:
            return kDarkRed;
        case RowHighlight::Plain:
            break;
    }
    return kWhite;
}

bool setsTextColour(RowHighlight highlight) {
    return highlight != RowHighlight::Querying;
}

Rgb textColourOf(RowHighlight highlight) {
    return highlight == RowHighlight::Listed ? kWhite : kBlack;
}

BlacklistRow rowOf(const BlacklistTable& table, int row) {
    return {table.name(row), table.zone(row), table.result(row), table.background(row),
            table.textColour(row)};
}

void applyHighlight(BlacklistTable& table, int row, RowHighlight highlight) {
    table.setBackground(row, backgroundOf(highlight));
    if (setsTextColour(highlight)) {
        table.setTextColour(row, textColourOf(highlight));
    }
}

void loadDefaultBlacklists(BlacklistTable& table) {
    for (int row = 0; row < kRowCount; ++row) {
        const auto& defaults = kDefaultBlacklists[static_cast<std::size_t>(row)];
        table.setName(row, defaults.name);
        table.setZone(row, defaults.zone);
    }
}

void clearTable(BlacklistTable& table) {
    for (int row = 0; row < kRowCount; ++row) {
        table.setName(row, "");
        table.setZone(row, "");
        table.setResult(row, "");
        applyHighlight(table, row, RowHighlight::Plain);
    }
}

}  // namespace ostrivane

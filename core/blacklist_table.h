#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrivane {

// The table always has exactly this many rows; no row is ever added or removed.
inline constexpr int kRowCount = 20;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kCyan{0, 255, 255};
inline constexpr Rgb kDarkRed{107, 0, 0};

// A row's colour state; all three cells of a row always carry the same colours.
enum class RowHighlight { Plain, Querying, Listed };

// Querying leaves the text colour as it was, so it has only a background.
Rgb backgroundOf(RowHighlight highlight);
bool setsTextColour(RowHighlight highlight);
Rgb textColourOf(RowHighlight highlight);

// The 20 rows of blacklists. The window's edit cells implement it directly, so
// whatever the user typed is what the next reader sees: there is no second copy.
class BlacklistTable {
  public:
    virtual ~BlacklistTable() = default;

    virtual std::string name(int row) const = 0;
    virtual std::string zone(int row) const = 0;
    virtual std::string result(int row) const = 0;
    virtual void setName(int row, std::string_view text) = 0;
    virtual void setZone(int row, std::string_view text) = 0;
    virtual void setResult(int row, std::string_view text) = 0;

    // Colour the name, zone and result cells of the row, in that order.
    virtual void setBackground(int row, Rgb colour) = 0;
    virtual void setTextColour(int row, Rgb colour) = 0;
    virtual Rgb background(int row) const = 0;
    virtual Rgb textColour(int row) const = 0;
};

// A snapshot of one row, for readers that want all of it at once.
struct BlacklistRow {
    std::string name;
    std::string zone;
    std::string result;
    Rgb background = kWhite;
    Rgb textColour = kBlack;
    friend bool operator==(const BlacklistRow&, const BlacklistRow&) = default;
};

BlacklistRow rowOf(const BlacklistTable& table, int row);

// Backgrounds first, then (where the state sets one) the text colour.
void applyHighlight(BlacklistTable& table, int row, RowHighlight highlight);

struct DefaultBlacklist {
    std::string_view name;
    std::string_view zone;
};

// Rows 16 to 19 of the defaults are empty.
extern const std::array<DefaultBlacklist, kRowCount> kDefaultBlacklists;

// Names and zones of all rows from the defaults; results and colours stay.
void loadDefaultBlacklists(BlacklistTable& table);

// Every name, zone and result empty, every row Plain.
void clearTable(BlacklistTable& table);

}  // namespace ostrivane

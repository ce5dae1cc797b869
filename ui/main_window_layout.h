#pragma once

// The window's layout as data: every control with its place, size and text,
// as the window was drawn, in twips (1/1440 inch) from the top-left corner of
// the client area.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include <QRect>

#include "core/blacklist_table.h"
#include "ui/maker_page.h"

namespace ostrivane {

enum class ControlKind { Label, LinkLabel, TextBox, PushButton };

struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    int left;
    int top;
    int width;
    int height;
    std::string_view text;
};

// Twips become Qt's logical pixels at 96 dpi (15 twips a pixel, to the nearest
// pixel); Qt's own high-DPI scaling takes it from there.
inline constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
QRect pixelRect(int left, int top, int width, int height);

inline constexpr int kClientWidth = 7005;
inline constexpr int kClientHeight = 8325;

inline constexpr std::string_view kWindowTitle = "Ostrivane";

// The controls' object names are the names the window was drawn with, so that
// the window can be compared with its drawing and its controls found by name.
inline constexpr std::string_view kHostPromptName = "Label5";
inline constexpr std::string_view kHostFieldName = "Text55";
inline constexpr std::string_view kLookupButtonName = "Command1";
inline constexpr std::string_view kNameHeadingName = "Label2";
inline constexpr std::string_view kZoneHeadingName = "Label1";
inline constexpr std::string_view kResultHeadingName = "Label3";
inline constexpr std::string_view kResetButtonName = "Reset";
inline constexpr std::string_view kMonitoringNoteName = "Label6a";
inline constexpr std::string_view kMakerLinkName = "Label4a";
// The table's columns, a control in every row (see arrayControlName).
inline constexpr std::string_view kNameCellsName = "Text1";
inline constexpr std::string_view kZoneCellsName = "Text2";
inline constexpr std::string_view kResultCellsName = "Text3";
inline constexpr std::string_view kInfoButtonsName = "Command2";

inline constexpr std::array<ControlSpec, 9> kSingleControls{{
    {kHostPromptName, ControlKind::Label, 60, 80, 1515, 255, "Host or IP to Lookup:"},
    {kHostFieldName, ControlKind::TextBox, 1680, 25, 3495, 315, ""},
    {kLookupButtonName, ControlKind::PushButton, 5220, 25, 1755, 315, "Look it up!"},
    {kNameHeadingName, ControlKind::Label, 60, 385, 1215, 195, "Blacklist Name"},
    {kZoneHeadingName, ControlKind::Label, 2295, 385, 1455, 195, "DNS Zone"},
    {kResultHeadingName, ControlKind::Label, 4560, 385, 1035, 195, "Result"},
    {kResetButtonName, ControlKind::PushButton, 5280, 7800, 1700, 495,
     "Reset to Default Blacklists"},
    {kMonitoringNoteName, ControlKind::Label, 45, 7935, 3015, 195,
     "For automated blacklist monitoring see:"},
    // Drawn after the monitoring note, whose box it overlaps, so that it lies on top.
    {kMakerLinkName, ControlKind::LinkLabel, 2820, 7930, 2235, 195, kMakerSiteText},
}};

// One column of the table: a control in every row.
struct ColumnSpec {
    std::string_view array;
    ControlKind kind;
    int leftOfRows0To9;
    // Rows 10 to 19 were drawn 5 twips off in two columns; at 96 dpi both come
    // to the same pixel, but the figures are kept as drawn.
    int leftOfRows10To19;
    int width;
    int height;
    std::string_view text;
    std::string_view toolTip;
};

inline constexpr std::array<ColumnSpec, 4> kColumns{{
    {kNameCellsName, ControlKind::TextBox, 60, 60, 2200, 315, "", ""},
    {kZoneCellsName, ControlKind::TextBox, 2300, 2295, 2200, 315, "", ""},
    {kResultCellsName, ControlKind::TextBox, 4540, 4545, 2200, 315, "", ""},
    {kInfoButtonsName, ControlKind::PushButton, 6780, 6780, 195, 315, "?",
     "Info on Blacklist from Web"},
}};

inline constexpr int kFirstRowTop = 600;
inline constexpr int kRowPitch = 360;

constexpr int rowTop(int row) {
    return kFirstRowTop + kRowPitch * row;
}
constexpr int columnLeft(const ColumnSpec& column, int row) {
    return row < 10 ? column.leftOfRows0To9 : column.leftOfRows10To19;
}

// The controls of the table are arrays, Text1(0) to Text1(19) and so on. Qt's
// object names cannot hold the parentheses, so Text1(4) is named "Text1_4".
std::string arrayControlName(std::string_view array, int index);

// The keyboard's path through the window, Tab forward and Shift+Tab back:
// rows 10 to 18 are visited result first and name last, and row 19 only after
// all the information buttons, as the window has always done.
std::vector<std::string> tabOrder();

}  // namespace ostrivane

#include "history/page_style.h"

#include <cstdio>

#include "core/blacklist_table.h"
#include "history/time_text.h"
#include "text/html_escape.h"

namespace ostrivane {

namespace {

std::string cssColour(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
    return text;
}

}  // namespace

// The window's colours: a listing white on dark red, everything else plain;
// what is unknown is grey, which the window never shows (it has no history).
std::string pageStyleSheet() {
    const std::string listedBack = cssColour(backgroundOf(RowHighlight::Listed));
    const std::string listedText = cssColour(textColourOf(RowHighlight::Listed));
    const std::string plainBack = cssColour(backgroundOf(RowHighlight::Plain));
    const std::string plainText = cssColour(textColourOf(RowHighlight::Plain));
    return "body{font-family:sans-serif;margin:1.5em;color:" + plainText +
           ";background:" + plainBack +
           "}\n"
           "h1{font-size:1.4em;margin:0 0 .3em}h2{font-size:1.1em;margin:1.4em 0 .4em}\n"
           ".meta{color:#444;margin:0}.targets{font-weight:normal;color:#444}\n"
           "table{border-collapse:collapse}th,td{border:1px solid #999;padding:.25em "
           ".5em;text-align:left;vertical-align:middle;white-space:nowrap}\n"
           "td.reason{white-space:normal;min-width:12em;max-width:24em;overflow-wrap:anywhere}\n"
           "th{background:#eee}.zone,.sub,.meaning,.via{font-size:.85em;color:#555}td.listed "
           ".sub,td.listed "
           ".meaning{color:inherit;font-weight:normal}.via{display:block;font-weight:normal}\n"
           ".meaning{white-space:normal;min-width:12em;max-width:22em}\n"
           "td.listed{background:" +
           listedBack + ";color:" + listedText +
           ";font-weight:bold}\n"
           "td.clear{background:" +
           plainBack + ";color:" + plainText +
           "}td.unknown{background:#d9d9d9}\n"
           ".change{display:inline-block;margin-left:.4em;padding:0 .3em;border:1px solid "
           "currentColor;font-size:.8em;font-weight:bold}\n"
           ".strip{white-space:nowrap}.day{display:inline-block;width:.6em;height:1.1em;"
           "margin-right:1px;border:1px solid #999;vertical-align:middle}\n"
           ".day.listed{background:" +
           listedBack + ";border-color:" + listedBack + "}.day.clear{background:" + plainBack +
           "}.day.unknown{background:#d9d9d9}\n"
           ".legend{margin-top:1.5em;font-size:.9em;color:#444}footer{margin-top:1em;"
           "font-size:.8em;color:#666}\nh3{font-size:1em;margin:1em 0 .3em}.fine{color:#265c00}\n";
}

std::string pageLegend(const RecentDays& recent, bool withHistory) {
    std::string html =
        "<div class=\"legend\"><p>Verdicts: <strong>listed</strong>, the list has the address (its "
        "answer "
        "code says why); <strong>not-listed</strong>, the list answered that it has not; "
        "<strong>no-answer</strong>, "
        "the list's servers did not answer in time, so the address may be listed or not; "
        "<strong>list-error</strong>, the list answered with an error code (often: it refuses this "
        "resolver), which says nothing of the address; <strong>broken-zone</strong>, the list "
        "lists "
        "every address or none, so none of its answers is trusted. Clean: not listed by any "
        "list, every list answered.</p>\n<p>Beside an answer code, what the list says it "
        "means, from the catalog of lists: <strong>listing</strong>; "
        "<strong>policy-listing</strong>, listed by the list's policy (an end-user range, "
        "say), still a listing; <strong>list-error</strong>, an error of the list, nothing "
        "of the address. <strong>via</strong>: how a mail target (mx:, spf:, mail:) reached "
        "the address or name.</p>\n";
    if (withHistory) {
        html +=
            "<p>Changes since the previous run: <span class=\"change\">new</span> listed "
            "now and not before, <span class=\"change\">cleared</span> listed before and "
            "not now. Each day: <span class=\"day listed\"></span> listed by at least one "
            "run, <span class=\"day clear\"></span> not listed, <span class=\"day "
            "unknown\"></span> no run had an answer. From " +
            htmlEscape(utcDayText(recent.firstDay)) + " to " +
            htmlEscape(
                utcDayText(recent.firstDay + static_cast<EpochMs>(recent.dayCount - 1) * kDayMs)) +
            ".</p>\n";
    }
    return html + "</div>\n";
}

}  // namespace ostrivane

// The report as one HTML page that needs nothing else: the styles inline, the chart of commands
// per day an inline SVG (no script), the tables after it. Every text from the journal is escaped
// for HTML.
#include <algorithm>
#include <string>

#include "audit/audit_text.h"
#include "tools/journal/report.h"

namespace quillmark::tools {
namespace {

constexpr int kBarWidth = 10;
constexpr int kDayWidth = 3 * kBarWidth + 8;
constexpr int kPlotHeight = 200;
constexpr int kLeft = 50;
constexpr int kTop = 20;
constexpr int kBottom = 70;  // room for the days' labels

std::string Html(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

struct Series {
  const char* name;   // the class of its bars
  const char* label;  // in the legend
  std::uint64_t Tally::*count;
};
constexpr Series kSeries[] = {{"allowed", "allowed", &Tally::allowed},
                              {"blocked", "blocked", &Tally::blocked},
                              {"rcon", "RCON", &Tally::rcon}};

std::string Chart(const JournalReport& report) {
  std::uint64_t most = 1;
  for (const auto& [day, tally] : report.days) {
    most = std::max({most, tally.allowed, tally.blocked, tally.rcon});
  }
  const int width = kLeft + static_cast<int>(report.days.size()) * kDayWidth + 70;
  const int height = kTop + kPlotHeight + kBottom;
  std::string svg = "<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"Commands per day\">\n";
  const int base = kTop + kPlotHeight;
  svg += "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(base) +
         "\" x2=\"" + std::to_string(width - 10) + "\" y2=\"" + std::to_string(base) + "\"/>\n";
  svg += "<text class=\"scale\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" +
         std::to_string(kTop + 4) + "\" text-anchor=\"end\">" + std::to_string(most) +
         "</text>\n<text class=\"scale\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"" +
         std::to_string(base) + "\" text-anchor=\"end\">0</text>\n";
  int x = kLeft + 4;
  for (const auto& [day, tally] : report.days) {
    svg += "<g class=\"day\" data-day=\"" + Html(day) + "\">\n";
    for (std::size_t i = 0; i < std::size(kSeries); ++i) {
      const std::uint64_t count = tally.*kSeries[i].count;
      const int bar = static_cast<int>(count * kPlotHeight / most);
      const int bar_x = x + static_cast<int>(i) * kBarWidth;
      svg += "<rect class=\"bar " + std::string(kSeries[i].name) + "\" data-count=\"" +
             std::to_string(count) + "\" x=\"" + std::to_string(bar_x) + "\" y=\"" +
             std::to_string(base - bar) + "\" width=\"" + std::to_string(kBarWidth - 1) +
             "\" height=\"" + std::to_string(bar) + "\"><title>" + Html(day) + ": " +
             std::to_string(count) + " " + kSeries[i].label + "</title></rect>\n";
      if (count > 0) {
        svg += "<text class=\"value\" x=\"" + std::to_string(bar_x + kBarWidth / 2) + "\" y=\"" +
               std::to_string(base - bar - 3) + "\" text-anchor=\"middle\">" +
               std::to_string(count) + "</text>\n";
      }
    }
    const int label_x = x + kDayWidth / 2 - 4;
    svg += "<text class=\"label\" x=\"" + std::to_string(label_x) + "\" y=\"" +
           std::to_string(base + 12) + "\" transform=\"rotate(45 " + std::to_string(label_x) + " " +
           std::to_string(base + 12) + ")\">" + Html(day) + "</text>\n</g>\n";
    x += kDayWidth;
  }
  return svg + "</svg>\n";
}

std::string Cells(const Tally& tally) {
  std::string cells;
  for (const std::uint64_t count : {tally.allowed, tally.blocked, tally.rcon, tally.Total()}) {
    cells += "<td class=\"n\">" + std::to_string(count) + "</td>";
  }
  return cells;
}

template <typename Map, typename Names>
std::string Table(const char* id, const char* caption, std::vector<const char*> heads,
                  const Map& rows, const Names& names, const Tally& total) {
  std::string html =
      "<table id=\"" + std::string(id) + "\">\n<caption>" + caption + "</caption>\n<thead><tr>";
  for (const char* head : heads) html += "<th>" + std::string(head) + "</th>";
  html += "<th>allowed</th><th>blocked</th><th>RCON</th><th>total</th></tr></thead>\n<tbody>\n";
  for (const auto& [key, tally] : rows) {
    html += "<tr>";
    for (const std::string& name : names(key)) {
      html += "<td>" + Html(EscapeForDisplay(name)) + "</td>";
    }
    html += Cells(tally) + "</tr>\n";
  }
  html += "</tbody>\n<tfoot><tr class=\"total\"><th colspan=\"" + std::to_string(heads.size()) +
          "\">total</th>" + Cells(total) + "</tr></tfoot>\n</table>\n";
  return html;
}

constexpr char kStyle[] = R"(body{font-family:system-ui,sans-serif;margin:2em;color:#222}
h1{font-size:1.4em}
table{border-collapse:collapse;margin:1.5em 0}
caption{text-align:left;font-weight:bold;padding:.3em 0}
th,td{border:1px solid #ccc;padding:.25em .6em}
td.n{text-align:right;font-variant-numeric:tabular-nums}
tfoot th,tfoot td{font-weight:bold;background:#f3f3f3}
.bar.allowed,.key.allowed{fill:#3ba55d;background:#3ba55d}
.bar.blocked,.key.blocked{fill:#ed4245;background:#ed4245}
.bar.rcon,.key.rcon{fill:#5865f2;background:#5865f2}
.axis{stroke:#888}
svg text{font-size:10px;fill:#444}
.legend span.key{display:inline-block;width:.9em;height:.9em;margin:0 .3em 0 1em;vertical-align:middle}
)";

}  // namespace

std::string FormatReportHtml(const JournalReport& report) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>quillmark journal report</title>\n<style>\n" +
      std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>quillmark journal report</h1>\n";
  html += "<p id=\"summary\">" + std::to_string(report.total.Total()) + " commands of " +
          std::to_string(report.servers) + " servers";
  if (!report.days.empty()) {
    html += ", " + Html(report.days.begin()->first) + " to " + Html(report.days.rbegin()->first);
  }
  html += "</p>\n";
  if (report.not_written > 0) {
    html += "<p id=\"not-written\">" + std::to_string(report.not_written) +
            " more commands were counted by the plugin but not written (omitted or "
            "unwritten).</p>\n";
  }
  html += "<h2>Commands per day</h2>\n<p class=\"legend\">";
  for (const Series& series : kSeries) {
    html += "<span class=\"key " + std::string(series.name) + "\"></span>" + series.label;
  }
  html += "</p>\n" + Chart(report);
  html += Table(
      "days", "Commands per day", {"day"}, report.days,
      [](const std::string& day) { return std::vector<std::string>{day}; }, report.total);
  html += Table(
      "players", "Commands per player", {"player", "EOS id"}, report.players,
      [](const std::pair<std::string, std::string>& player) {
        return std::vector<std::string>{player.first, player.second};
      },
      report.total);
  html += Table(
      "commands", "Commands per command word", {"command"}, report.commands,
      [](const std::string& word) { return std::vector<std::string>{word}; }, report.total);
  return html + "</body>\n</html>\n";
}

}  // namespace quillmark::tools

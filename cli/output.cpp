#include "cli/output.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "app/fields.h"
#include "app/state.h"
#include "bots/bots.h"
#include "download/sites.h"
#include "platform/headless/host.h"
#include "settings/locator.h"

using Json = nlohmann::ordered_json;

namespace {
// Field widths for a plain table: the widest cell of each column.
std::vector<std::size_t> Widths(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> w;
    for (const auto& r : rows) {
        if (w.size() < r.size()) w.resize(r.size(), 0);
        for (std::size_t i = 0; i < r.size(); ++i) w[i] = std::max(w[i], r[i].size());
    }
    return w;
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    auto w = Widths(rows);
    for (const auto& r : rows) {
        std::string line;
        for (std::size_t i = 0; i < r.size(); ++i) {
            line += r[i];
            if (i + 1 < r.size()) line += std::string(w[i] - r[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

std::string Cell(const headless::ListRow& row, std::size_t i) {
    return i < row.cells.size() ? row.cells[i] : "";
}

int Counter(int id) {
    try {
        return std::stoi(GetDlgItemText(md, id));
    } catch (...) {
        return 0;
    }
}

// The row's directory as the table holds it, without computing it.
std::string BotDirField(int bot) {
    return FieldText(GetBotRow(bot).dir);
}

Json JsonStrings(const std::vector<std::string>& v) {
    Json a = Json::array();
    for (const auto& s : v) a.push_back(s);
    return a;
}
}  // namespace

void PrintCheck(std::ostream& out, bool redundant, bool json) {
    Hwnd w = md;
    auto left = headless::Rows(w, kLeftList);
    auto right = headless::Rows(w, kRightList);
    std::string leftCaption = GetDlgItemText(w, 125);
    std::string rightCaption = GetDlgItemText(w, 141);
    int bot = static_cast<int>(sbot.load());
    if (json) {
        Json doc;
        doc["mode"] = redundant ? "redundant" : "missing";
        doc["bot"] = {{"index", bot}, {"name", GetBotName(bot)}, {"ext", GetBotExt(bot)}};
        doc["game_dir"] = CachedCdir();
        doc["map_dir"] = CachedMdir();
        doc["waypoint_dir"] = BotDirField(bot);
        doc["counts"] = {{"listed", Counter(115)}, {"unmatched", Counter(112)}};
        Json lrows = Json::array();
        for (const auto& r : left) lrows.push_back({{"name", Cell(r, 0)}, {"key", r.key}});
        Json rrows = Json::array();
        for (const auto& r : right)
            rrows.push_back({{"name", Cell(r, 0)},
                             {"key", r.key},
                             {"last_edited", Cell(r, 1)},
                             {"version", Cell(r, 2)},
                             {"author", Cell(r, 3)}});
        doc["left"] = {{"caption", leftCaption}, {"rows", lrows}};
        doc["right"] = {{"caption", rightCaption}, {"rows", rrows}};
        doc["status"] = JsonStrings(headless::StatusLog());
        Json messages = Json::array();
        for (const auto& m : headless::MessageBoxes())
            messages.push_back({{"caption", m.caption}, {"text", m.text}});
        doc["messages"] = messages;
        out << doc.dump(2) << '\n';
        return;
    }
    out << "Bot: " << GetBotName(bot) << " (." << GetBotExt(bot) << ")\n";
    out << "Waypoint directory: " << BotDirField(bot) << "\n\n";
    out << leftCaption << '\n';
    std::vector<std::vector<std::string>> lt;
    for (const auto& r : left) lt.push_back({Cell(r, 0)});
    PrintTable(out, lt);
    out << '\n' << rightCaption << '\n';
    std::vector<std::vector<std::string>> rt;
    auto cols = headless::Columns(w, kRightList);
    std::vector<std::string> header;
    for (const auto& c : cols) header.push_back(c.text);
    rt.push_back(header);
    for (const auto& r : right) rt.push_back({Cell(r, 0), Cell(r, 1), Cell(r, 2), Cell(r, 3)});
    PrintTable(out, rt);
    out << '\n'
        << GetDlgItemText(w, 113) << ": " << Counter(112) << "  " << GetDlgItemText(w, 114) << ": "
        << Counter(115) << '\n';
}

void PrintBots(std::ostream& out, bool json) {
    if (json) {
        Json doc = Json::array();
        for (int i = 0; i < kBotCount; ++i)
            doc.push_back({{"index", i},
                           {"name", GetBotName(i)},
                           {"ext", GetBotExt(i)},
                           {"waypoint_dir", GetBotWaypointDir(i)}});
        out << doc.dump(2) << '\n';
        return;
    }
    std::vector<std::vector<std::string>> t{{"Index", "Name", "Ext", "Waypoint directory"}};
    for (int i = 0; i < kBotCount; ++i)
        t.push_back({std::to_string(i), GetBotName(i), GetBotExt(i), GetBotWaypointDir(i)});
    PrintTable(out, t);
}

std::string SiteFieldText(const SiteInfo& s, const std::string& field) {
    if (field == "name") return s.name;
    if (field == "start") return s.start;
    if (field == "end") return s.end;
    if (field == "ext") return s.ext;
    if (field == "host") return s.host;
    if (field == "dir") return s.dir;
    return "";
}

void PrintSites(std::ostream& out, bool json) {
    int selected = static_cast<int>(ssite.load());
    if (json) {
        Json doc = Json::array();
        for (int n = 0; n < kSiteCount; ++n) {
            SiteInfo s = GetSite(n);
            doc.push_back({{"row", n},
                           {"name", s.name},
                           {"start", s.start},
                           {"end", s.end},
                           {"ext", s.ext},
                           {"host", s.host},
                           {"dir", s.dir},
                           {"selected", n == selected}});
        }
        out << doc.dump(2) << '\n';
        return;
    }
    std::vector<std::vector<std::string>> t{
        {"Row", "Name", "Start text", "End Text", "Extension", "Host", "Directory"}};
    for (int n = 0; n < kSiteCount; ++n) {
        SiteInfo s = GetSite(n);
        t.push_back({std::to_string(n) + (n == selected ? "*" : ""), s.name, s.start, s.end, s.ext,
                     s.host, s.dir});
    }
    PrintTable(out, t);
    out << "* the selected site\n";
}

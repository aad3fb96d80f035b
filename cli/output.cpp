#include "cli/output.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <vector>

#include "bots/bots.h"
#include "check/lists.h"
#include "check/scan.h"
#include "core/fields.h"
#include "core/state.h"
#include "download/sites.h"
#include "download/update.h"
#include "download/waypoint.h"
#include "platform/files.h"
#include "platform/headless/host.h"
#include "platform/text.h"
#include "resources/ids.h"
#include "settings/locator.h"

using Json = nlohmann::ordered_json;

namespace {
// The number of characters of a UTF-8 text.
std::size_t Chars(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// Cells are shown text with their control characters escaped; each column
// is as wide as its widest cell, in characters.
void PrintTable(std::ostream& out, std::vector<std::vector<std::string>> rows) {
    std::vector<std::size_t> w;
    for (auto& r : rows) {
        if (w.size() < r.size()) w.resize(r.size(), 0);
        for (std::size_t i = 0; i < r.size(); ++i) {
            r[i] = EscapedText(r[i]);
            w[i] = std::max(w[i], Chars(r[i]));
        }
    }
    std::string line;  // one buffer for every line
    for (const auto& r : rows) {
        line.clear();
        for (std::size_t i = 0; i < r.size(); ++i) {
            line += r[i];
            if (i + 1 < r.size()) line.append(w[i] - Chars(r[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

// Every string of doc as shown text, so that the document is valid UTF-8
// whatever bytes the names, authors and directories hold.
Json Shown(Json doc) {
    if (doc.is_string()) return ShownText(doc.get_ref<const std::string&>());
    if (doc.is_structured())
        for (auto& item : doc) item = Shown(std::move(item));
    return doc;
}

// doc is taken by value: a caller's document is moved in, not copied.
void PrintJson(std::ostream& out, Json doc) {
    out << Shown(std::move(doc)).dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

std::string Cell(const headless::ListRow& row, std::size_t i) {
    return i < row.cells.size() ? row.cells[i] : "";
}

std::mutex leftOutMutex;
std::set<std::string> leftOut;  // texts of message boxes that concern nothing of the run

// The message boxes of the run, as captions and texts. The boxes are taken
// before the lock: a box is answered (and may be left out) under the host's
// lock, so taking that one inside ours could deadlock.
Json Messages() {
    // The boxes are taken before the lock: a box being shown holds the
    // headless host's lock while LeaveOutMessage takes this one.
    auto boxes = headless::MessageBoxes();
    std::lock_guard lock(leftOutMutex);
    Json messages = Json::array();
    for (const auto& m : boxes)
        if (!leftOut.count(m.text)) messages.push_back({{"caption", m.caption}, {"text", m.text}});
    return messages;
}

std::mutex runStatusMutex;
std::vector<std::string> runStatus;  // every status line of the run, whatever the list dropped

Json StatusLog() {
    std::lock_guard lock(runStatusMutex);
    return runStatus;
}

// A directory as the tables show it.
std::string DirCell(const std::string& dir) {
    return dir.empty() ? "(not set)" : dir;
}

// A text, or null for none.
Json OrNull(const std::string& s) {
    return s.empty() ? Json(nullptr) : Json(s);
}

Json BotOf(int bot) {
    return {{"index", bot}, {"name", GetBotName(bot)}, {"ext", GetBotExt(bot)}};
}

// A JSON document written to a stream as it goes, in the layout of
// PrintJson (two spaces a level, strings as shown text, escaped as Json's
// dump escapes them), for documents too large to be built first. The text
// goes out in pieces of about kPiece bytes through one buffer.
class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& stream) : stream_(stream) { out_.reserve(kPiece + 4096); }
    ~JsonWriter() { Flush(); }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;
    void Flush() {
        stream_.write(out_.data(), static_cast<std::streamsize>(out_.size()));
        out_.clear();
    }
    JsonWriter& Begin(char bracket) {
        Value();
        out_ += bracket;
        empty_.push_back(true);
        return *this;
    }
    JsonWriter& End(char bracket) {
        bool empty = empty_.back();
        empty_.pop_back();
        if (!empty) NewLine();
        out_ += bracket;
        return *this;
    }
    JsonWriter& Key(std::string_view key) {
        Item();
        Quoted(key);
        out_ += ": ";
        keyed_ = true;
        return *this;
    }
    JsonWriter& String(std::string_view text) {
        Value();
        Quoted(ShownText(text));
        return *this;
    }
    JsonWriter& Int(long long n) {
        Value();
        AppendNumber(out_, n);
        return *this;
    }
    JsonWriter& Bool(bool b) {
        Value();
        out_ += b ? "true" : "false";
        return *this;
    }
    JsonWriter& Null() {
        Value();
        out_ += "null";
        return *this;
    }

  private:
    // Before a value: after its key nothing, in an array a new item.
    void Value() {
        if (keyed_) {
            keyed_ = false;
        } else if (!empty_.empty()) {
            Item();
        }
    }
    void Item() {
        if (out_.size() >= kPiece) Flush();
        if (!empty_.back()) out_ += ',';
        empty_.back() = false;
        NewLine();
    }
    void NewLine() {
        out_ += '\n';
        out_.append(2 * empty_.size(), ' ');
    }
    void Quoted(std::string_view text) {
        out_ += '"';
        // Runs of plain characters go out in one append.
        std::size_t plain = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            auto c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c != '"' && c != '\\') continue;
            out_.append(text.substr(plain, i - plain));
            plain = i + 1;
            switch (c) {
                case '"':
                    out_ += "\\\"";
                    break;
                case '\\':
                    out_ += "\\\\";
                    break;
                case '\b':
                    out_ += "\\b";
                    break;
                case '\f':
                    out_ += "\\f";
                    break;
                case '\n':
                    out_ += "\\n";
                    break;
                case '\r':
                    out_ += "\\r";
                    break;
                case '\t':
                    out_ += "\\t";
                    break;
                default: {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out_ += escape;
                }
            }
        }
        out_.append(text.substr(plain));
        out_ += '"';
    }

    static constexpr std::size_t kPiece = 32 << 10;
    std::ostream& stream_;
    std::string out_;
    std::vector<bool> empty_;  // per open bracket: nothing in it yet
    bool keyed_ = false;       // a key was written, its value comes next
};

int Counter(int id) {
    try {
        return std::stoi(GetDlgItemText(md, id));
    } catch (...) {
        return 0;
    }
}
}  // namespace

void PrintCheck(std::ostream& out, bool redundant, bool json) {
    Hwnd w = md;
    const auto& left = headless::RowsInPlace(w, kLeftList);
    const auto& right = headless::RowsInPlace(w, kRightList);
    std::string leftCaption = GetDlgItemText(w, kLeftListLabel);
    std::string rightCaption = GetDlgItemText(w, kRightListLabel);
    int bot = static_cast<int>(sbot.load());
    if (json) {
        // Written as it goes, in the layout of PrintJson: a check of
        // thousands of rows builds no document.
        JsonWriter doc(out);
        doc.Begin('{');
        doc.Key("mode").String(redundant ? "redundant" : "missing");
        doc.Key("bot").Begin('{');
        doc.Key("index").Int(bot).Key("name").String(GetBotName(bot));
        doc.Key("ext").String(GetBotExt(bot)).End('}');
        doc.Key("game_dir").String(CachedCdir()).Key("map_dir").String(CachedMdir());
        doc.Key("waypoint_dir").String(GetBotDir(bot));
        doc.Key("counts").Begin('{').Key("listed").Int(Counter(kOutOfCount));
        doc.Key("unmatched").Int(Counter(kMissingCount)).End('}');
        doc.Key("complete").Bool(ScanComplete());
        doc.Key("left").Begin('{').Key("caption").String(leftCaption).Key("rows").Begin('[');
        for (const auto& r : left)
            doc.Begin('{').Key("name").String(Cell(r, 0)).Key("key").Int(r.key).End('}');
        doc.End(']').End('}');
        doc.Key("right").Begin('{').Key("caption").String(rightCaption).Key("rows").Begin('[');
        for (const auto& r : right) {
            doc.Begin('{').Key("name").String(Cell(r, 0)).Key("key").Int(r.key);
            doc.Key("last_edited").String(Cell(r, 1)).Key("date_iso");
            if (const std::string& date = MYSource(r.key).date; !date.empty()) {
                doc.String(date);
            } else {
                doc.Null();
            }
            doc.Key("version").String(Cell(r, 2)).Key("author").String(Cell(r, 3)).End('}');
        }
        doc.End(']').End('}');
        doc.Key("status").Begin('[');
        for (const Json& line : StatusLog()) doc.String(line.get_ref<const std::string&>());
        doc.End(']');
        doc.Key("messages").Begin('[');
        for (const Json& m : Messages()) {
            doc.Begin('{').Key("caption").String(m["caption"].get_ref<const std::string&>());
            doc.Key("text").String(m["text"].get_ref<const std::string&>()).End('}');
        }
        doc.End(']').End('}');
        doc.Flush();
        out << '\n';
        return;
    }
    out << "Bot: " << EscapedText(GetBotName(bot)) << " (." << EscapedText(GetBotExt(bot)) << ")\n";
    out << "Waypoint directory: " << EscapedText(GetBotDir(bot)) << "\n\n";
    out << leftCaption << '\n';
    std::vector<std::vector<std::string>> lt;
    lt.reserve(left.size());
    for (const auto& r : left) lt.push_back({Cell(r, 0)});
    PrintTable(out, lt);
    out << '\n' << rightCaption << '\n';
    std::vector<std::vector<std::string>> rt;
    rt.reserve(right.size() + 1);
    auto cols = headless::Columns(w, kRightList);
    std::vector<std::string> header;
    for (const auto& c : cols) header.push_back(c.text);
    rt.push_back(header);
    for (const auto& r : right) rt.push_back({Cell(r, 0), Cell(r, 1), Cell(r, 2), Cell(r, 3)});
    PrintTable(out, rt);
    out << '\n'
        << GetDlgItemText(w, kMissingLabel) << ": " << Counter(kMissingCount) << "  "
        << GetDlgItemText(w, kOutOfLabel) << ": " << Counter(kOutOfCount) << '\n';
    if (!ScanComplete()) out << "The check is incomplete: see the messages above.\n";
}

namespace {
// Each bot's row with its waypoint directory under the key dirKey.
Json BotRows(const char* dirKey) {
    Json rows = Json::array();
    for (int i = 0; i < kBotCount; ++i)
        rows.push_back({{"index", i},
                        {"name", GetBotName(i)},
                        {"ext", GetBotExt(i)},
                        {dirKey, OrNull(GetBotWaypointDir(i))}});
    return rows;
}

void PrintBotTable(std::ostream& out) {
    std::vector<std::vector<std::string>> t{{"Index", "Name", "Ext", "Waypoint directory"}};
    for (int i = 0; i < kBotCount; ++i)
        t.push_back(
            {std::to_string(i), GetBotName(i), GetBotExt(i), DirCell(GetBotWaypointDir(i))});
    PrintTable(out, t);
}
}  // namespace

void PrintBots(std::ostream& out, bool json) {
    if (json) {
        PrintJson(out, BotRows("waypoint_dir"));
    } else {
        PrintBotTable(out);
    }
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
        PrintJson(out, std::move(doc));
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

void PrintConfig(std::ostream& out, bool json) {
    std::string game = GetCdir(), map = GetMdir();
    if (json) {
        PrintJson(out,
                  {{"game_dir", OrNull(game)}, {"map_dir", OrNull(map)}, {"bots", BotRows("dir")}});
        return;
    }
    out << "Counter Strike directory: "
        << (game.empty()        ? "(not set: nodescan-cli config set game-dir DIR)"
            : IsDirectory(game) ? EscapedText(game)
                                : EscapedText(game) + " (no such directory)")
        << "\nCounter Strike map directory: " << EscapedText(DirCell(map)) << "\n\n";
    PrintBotTable(out);
}

void RecordStatusLine(const std::string& line) {
    std::lock_guard lock(runStatusMutex);
    runStatus.push_back(line);
}

void LeaveOutMessage(const std::string& text) {
    std::lock_guard lock(leftOutMutex);
    leftOut.insert(text);
}

void PrintWritten(std::ostream& out, const std::string& path, bool json) {
    if (json) {
        PrintJson(out, {{"file", path}, {"status", StatusLog()}});
    } else {
        out << EscapedText(path) << '\n';
    }
}

void PrintDeleted(std::ostream& out, bool json) {
    Json deleted = Json::array();
    int rows = ListGetItemCount(md, kRightList);
    for (int row = 0; row < rows; ++row) {
        std::uint32_t key = ListGetItemKey(md, kRightList, row);
        if (ListGetItemText(md, kRightList, row, 0) == "Deleted....")
            deleted.push_back(MYSource(key).file);
    }
    if (json) {
        PrintJson(out, {{"deleted", deleted}, {"status", StatusLog()}});
        return;
    }
    for (const auto& file : deleted) out << EscapedText(file.get<std::string>()) << '\n';
}

void PrintDownload(std::ostream& out, bool json, bool ran) {
    std::vector<DownloadReport> reports = LastDownloadReports();
    if (!json) {
        for (const auto& r : reports)
            for (const auto& file : r.installed) out << EscapedText(file) << '\n';
        return;
    }
    Json maps = Json::array();
    Json counts = Json::object();
    for (const char* outcome : {"installed", "not found", "declined", "failed", "not installed"})
        counts[outcome] = 0;
    for (const auto& r : reports) {
        Json sites = Json::array();
        for (int row : r.sites) {
            SiteInfo s = GetSite(row);
            sites.push_back({{"row", row}, {"name", s.name}, {"host", s.host}});
        }
        maps.push_back(
            {{"map", r.map}, {"sites", sites}, {"installed", r.installed}, {"outcome", r.outcome}});
        counts[r.outcome] = counts[r.outcome].get<int>() + 1;
    }
    // One map: its fields also stand at the top, as they did before several
    // maps could be fetched at once.
    Json doc = maps.size() == 1 ? maps[0] : Json::object();
    doc["bot"] = BotOf(static_cast<int>(sbot.load()));
    std::size_t done = counts["installed"].get<std::size_t>();
    if (maps.size() != 1)
        doc["outcome"] = !ran                     ? "nothing missing"
                         : reports.empty()        ? "refused"
                         : done == reports.size() ? "installed"
                                                  : "not all installed";
    doc["maps"] = maps;
    doc["counts"] = counts;
    doc["status"] = StatusLog();
    doc["messages"] = Messages();
    PrintJson(out, std::move(doc));
}

void PrintUpdate(std::ostream& out, bool json) {
    UpdateReport report = LastUpdateReport();
    if (!json) {
        if (!report.archive.empty()) out << EscapedText(report.archive) << '\n';
        return;
    }
    PrintJson(out, {{"local_version", report.local},
                    {"web_version", OrNull(report.web)},
                    {"outcome", report.outcome},
                    {"archive", OrNull(report.archive)},
                    {"status", StatusLog()},
                    {"messages", Messages()}});
}

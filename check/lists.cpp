#include "check/lists.h"

#include <cstring>
#include <ctime>
#include <utility>

#include "bots/bots.h"
#include "check/header.h"
#include "core/fields.h"
#include "platform/files.h"

const ColumnSpec Cols[5] = {
    {"Map Name", 118}, {"Last Edited", 70}, {"Version", 55}, {"Created By", 95}, {nullptr, 0},
};

std::atomic<int> checkredway{0};
std::atomic<int> col{0};
ResultRecord MY[kMaxResults] = {};

namespace {
// The sources are made in blocks of keys as the scan first writes them: a
// process that never checks builds none of the 4000, a check builds the
// blocks its rows use. A block, once made, stays for the process (readers on
// the window thread may hold entries of it).
constexpr int kSourceBlock = 256;
std::atomic<ResultSource*> sourceBlocks[(kMaxResults + kSourceBlock - 1) / kSourceBlock] = {};
const ResultSource kNoSource;

ResultSource& WritableSource(int key) {
    auto& slot = sourceBlocks[key / kSourceBlock];
    ResultSource* block = slot.load(std::memory_order_acquire);
    if (!block) {
        block = new ResultSource[kSourceBlock];
        slot.store(block, std::memory_order_release);
    }
    return block[key % kSourceBlock];
}

// One past the highest record written since the tables were last cleared:
// clearing stops there, so that a process's first check does not write (and
// fault in) 1.7 MB of records it never uses.
std::atomic<int> recordsUsed{0};

void ClearRecords() {
    int used = recordsUsed.exchange(0);
    std::memset(MY, 0, sizeof MY[0] * static_cast<std::size_t>(used));
    for (int key = 0; key < used; ++key) WritableSource(key) = {};
}

constexpr RGB kBlue = MakeRGB(0, 0, 255);
constexpr RGB kRed = MakeRGB(255, 0, 0);

// The packed DOS date of the UTC calendar day of t.
std::uint32_t DosDateOf(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm utc{};
    if (!gmtime_r(&tt, &utc)) return 0;
    int year = utc.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;  // outside what a DOS date holds
    return static_cast<std::uint32_t>((year - 1980) * 512 + (utc.tm_mon + 1) * 32 + utc.tm_mday);
}
}  // namespace

const ResultSource& MYSource(std::uint32_t key) {
    if (key >= static_cast<std::uint32_t>(kMaxResults)) return kNoSource;
    const ResultSource* block = sourceBlocks[key / kSourceBlock].load(std::memory_order_acquire);
    return block ? block[key % kSourceBlock] : kNoSource;
}

std::size_t SetBotExt(std::string& name, int bot, ExtFor target) {
    std::size_t p = name.find('.');
    p = (p == std::string::npos) ? name.size() : p + 1;
    if (checkredway == 1 && target == ExtFor::Counterpart) {
        name.replace(p, std::string::npos, "bsp");
    } else {
        // The scan's own bot names the file; control kExtUsedField keeps showing the selection.
        DisplayBotExt(static_cast<int>(sbot.load()));
        name.replace(p, std::string::npos, GetBotExt(bot));
    }
    return p;
}

void DisplayFound(std::string& name, std::size_t pos, int bot, int key, const std::string& dir,
                  const std::string& ext, const std::string& map) {
    if (key < 0 || key >= kMaxResults) return;
    std::string file = JoinPath(dir, name);
    // The header is read from the file as it is named on disk; the redundant
    // check's row then shows it under the bot's extension. The same open
    // gives the file's time.
    FileStart start;
    HeaderInfo info = CheckHeader(bot, name, dir, &start);
    std::int64_t mtime = start.mtime;
    bool haveTime = start.haveTime;
    if (checkredway == 1) SetBotExt(name, bot, ExtFor::Waypoint);

    std::string isoDate;
    std::time_t tt = static_cast<std::time_t>(mtime);
    std::tm local{};
    if (haveTime && localtime_r(&tt, &local)) {
        long long year = local.tm_year + 1900LL;
        std::string date;  // DD/MM/YYYY
        AppendNumber(date, local.tm_mday, 2);
        date += '/';
        AppendNumber(date, local.tm_mon + 1, 2);
        date += '/';
        AppendNumber(date, year);
        SetFieldText(info.dateText, date);
        AppendNumber(isoDate, year, 4);  // YYYY-MM-DD
        isoDate += '-';
        AppendNumber(isoDate, local.tm_mon + 1, 2);
        isoDate += '-';
        AppendNumber(isoDate, local.tm_mday, 2);
    }
    name.replace(pos, std::string::npos, ext);

    ListSetTextColor(md, kRightList, kBlue);
    if (recordsUsed < key + 1) recordsUsed = key + 1;
    ResultRecord& r = MY[key];
    r.index = static_cast<std::uint32_t>(key);
    r.dosDate = haveTime ? DosDateOf(mtime) : 0;
    r.flag = 0;
    r.version = info.version;
    SetFieldText(r.name, name);
    SetFieldText(r.author, info.author);
    SetFieldText(r.dir, dir);
    // The game loads a map by its file name without the last extension.
    WritableSource(key) = {std::move(file), map.substr(0, map.rfind('.')), std::move(isoDate)};

    int row = ListInsertItem(md, kRightList, key, name, static_cast<std::uint32_t>(key));
    ListSetItemText(md, kRightList, row, 1, info.dateText);
    ListSetItemText(md, kRightList, row, 2, info.versionText);
    ListSetItemText(md, kRightList, row, 3, info.author);
}

void DisplayNotFound(int key, std::string& name, std::size_t pos, const std::string& ext) {
    name.replace(pos, std::string::npos, ext);
    ListSetTextColor(md, kLeftList, kRed);
    ListInsertItem(md, kLeftList, key, name, static_cast<std::uint32_t>(key));
}

RowChoice ChosenRows(int list) {
    return {list, ListGetSelectedCount(md, list) > 0};
}

bool RowChoice::Takes(int row) const {
    return !some || ListIsItemSelected(md, list, row);
}

std::string RowText(int list, int row) {
    std::string text = ListGetItemText(md, list, row, 0);
    if (text.size() > 259) text.resize(259);
    return text;
}

bool IsTrainingMap(const std::string& text) {
    return text.size() >= 3 && EqualIgnoreCase(text.substr(0, 3), "tr_");
}

void SetColumnNames(int list, ColumnSetup setup) {
    // A plain header shows no sort arrow either.
    if (col == 7) {
        ListSetColumn(md, kLeftList, 0, Cols[0].text, Cols[0].width);
        ListSetSortMark(md, kLeftList, -1, true);
    }
    if (setup == ColumnSetup::Reset) ListSetSortMark(md, list, -1, true);
    for (int i = 0; Cols[i].text; ++i) {
        if (setup == ColumnSetup::Reset) {
            ListSetColumn(md, list, i, Cols[i].text, Cols[i].width);
        } else {
            ListInsertColumn(md, list, i, Cols[i].text, Cols[i].width);
        }
    }
}

void CreateNoWaypointColumns(Hwnd dialog) {
    col = 0;
    ListInsertColumn(dialog, kLeftList, 0, Cols[0].text, Cols[0].width);
}

void ClearLists(Hwnd dialog) {
    // One step on the window's thread, where the sorts and the list commands
    // run: none of them sees a row whose record is half cleared.
    RunOnWindowThread([dialog] {
        ListDeleteAllItems(dialog, kRightList);
        ListDeleteAllItems(dialog, kLeftList);
        ClearRecords();
        SetColumnNames(kRightList, ColumnSetup::Reset);
    });
}

void ResetLists() {
    ClearRecords();
    checkredway = 0;
    col = 0;
}

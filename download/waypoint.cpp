#include "download/waypoint.h"

#include <cstdio>
#include <mutex>

#include "bots/bots.h"
#include "check/lists.h"
#include "check/scan.h"
#include "core/state.h"
#include "core/status.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/zip.h"
#include "platform/files.h"
#include "resources/ids.h"
#include "settings/locator.h"

namespace {
constexpr std::int64_t kLargeFile = 300000;

std::mutex reportMutex;
std::vector<DownloadReport> reports;  // the last job's; the map being fetched last

// Changes the report of the map being fetched.
template <class F>
void Note(F change) {
    std::lock_guard lock(reportMutex);
    if (!reports.empty()) change(reports.back());
}

// A name that stays inside the directory it is meant for.
bool PlainFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
}

// Why a saved reply brought no file: the site lacks it, or anything else.
SiteEnd Missing(const std::string& file) {
    int status = ReadResponseHead(file).status;
    return status == 404 || status == 410 ? SiteEnd::NotFound : SiteEnd::Failed;
}

// Tries the sites for one map, in order, up to the first that delivers; the
// map's outcome. When none delivers, the most telling reason: a file the
// user declined, then a site that failed (it may have had the file), else
// that no site had it.
std::string FetchMap(const std::string& map, const std::vector<int>& sites, bool searchAll,
                     const DownloadJob& job) {
    std::string remote, local;
    SiteEnd why = SiteEnd::NotFound;
    for (int site : sites) {
        Note([site](DownloadReport& r) { r.sites.push_back(site); });
        bool installed = false;
        SiteEnd end = InitDownloadWaypoint(&remote, &local, map, site, job, &installed);
        if (end == SiteEnd::Fetched) {
            std::vector<std::string> files = InstalledFiles();
            Note([&files](DownloadReport& r) { r.installed = files; });
            return installed ? "installed" : "not installed";
        }
        if (end == SiteEnd::Declined || (end == SiteEnd::Failed && why == SiteEnd::NotFound))
            why = end;
    }
    // Several maps end in one summary line instead of a box for each.
    if (searchAll && !job.batch)
        MessageBox(md, "All Sites Failed!! Please search for it manually", remote,
                   MB_OK | MB_ICONINFORMATION);
    return why == SiteEnd::Declined ? "declined" : why == SiteEnd::Failed ? "failed" : "not found";
}

// "2 installed, 1 not found on any site (de_c.bsp)": how many maps ended
// each way, naming those that were not installed.
std::string Summary(const std::vector<DownloadReport>& done, const std::string& notFound) {
    const std::pair<std::string, std::string> ways[] = {{"installed", "installed"},
                                                        {"not found", notFound},
                                                        {"declined", "declined"},
                                                        {"failed", "failed"},
                                                        {"not installed", "not installed"}};
    std::string line;
    for (const auto& [outcome, said] : ways) {
        int count = 0;
        std::string names;
        for (const DownloadReport& r : done) {
            if (r.outcome != outcome) continue;
            names += (count++ ? ", " : "") + r.map;
        }
        if (count == 0) continue;
        line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + said;
        if (outcome != "installed") line += " (" + names + ")";
    }
    return line;
}
}  // namespace

void GetDownloadSettings(int site, std::string* host, std::string* remote, std::string* local,
                         std::string* dir, const std::string& map) {
    SiteInfo s = GetSite(site);
    std::string base = map.substr(0, map.rfind('.'));
    *remote = s.start + base + s.end + "." + s.ext;
    *local = base + "." + s.ext;
    *host = s.host;
    *dir = s.dir;
}

std::int64_t GetSize(const std::string& host, const std::string& file, const std::string& dir,
                     int site, SiteEnd* end) {
    *end = SiteEnd::Failed;
    if (Download(host, file, dir, "HEAD") != 1) {
        if (LastRequestUnreachable()) ServerError(site);
        return -1;
    }
    std::uint32_t size = FindSize(file, site);
    if (size == 0xFFFFFFFFu) {
        *end = Missing(file);
        return -1;
    }
    if (size > kLargeFile) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "This file is %u bytes in size.\nThis seems too large for a waypoint "
                      "file.\nWould you still like to download it?",
                      size);
        // "to large": kept as the original program spells it.
        if (MessageBox(md, text, "File to large?", MB_YESNO | MB_ICONQUESTION) != IDYES) {
            *end = SiteEnd::Declined;
            return -1;
        }
    }
    *end = SiteEnd::Fetched;
    return size;
}

SiteEnd InitDownloadWaypoint(std::string* remote, std::string* local, const std::string& map,
                             int site, const DownloadJob& job, bool* installed) {
    std::string host, dir;
    GetDownloadSettings(site, &host, remote, local, &dir, map);
    for (const std::string* name : {remote, local}) {
        if (!PlainFileName(*name)) {
            sout("Refused: '" + *name + "' from the fields of '" + GetServerName(site) +
                 "' is not a plain file name");
            return SiteEnd::Failed;
        }
    }
    // Whatever comes of this site, nothing of it stays in the temporary directory.
    struct Cleanup {
        const std::string& file;
        ~Cleanup() { RemoveSaved(file); }
    } cleanup{*remote};
    SiteEnd end;
    std::int64_t size = GetSize(host, *remote, dir, site, &end);
    if (size < 0) return end;
    ShowControl(md, kProgressBar, true);
    ProgressSetRange(md, kProgressBar, 0, static_cast<int>((size / 1024) & 0xFFFF));
    ProgressSetStep(md, kProgressBar, 1);
    ProgressSetPos(md, kProgressBar, 0);
    sprogress("Downloading Waypoint file");
    if (Download(host, *remote, dir, "GET") != 1) {
        if (LastRequestUnreachable()) ServerError(site);
        return SiteEnd::Failed;
    }
    if (CheckFile(*remote) != 1) return Missing(*remote);
    *installed = ExtractFiles(*remote, *local, job.bot, !job.batch);
    if (*installed) sprogress("Success....");
    return SiteEnd::Fetched;
}

bool DownloadWaypoint() {
    {
        std::lock_guard lock(reportMutex);
        reports.clear();
    }
    // The sites the job asks: a network is needed unless all are on this machine.
    bool searchAll = IsDlgButtonChecked(md, kSearchAllCheck);
    std::vector<int> sites;
    std::vector<std::string> hosts;
    for (int site = 0; site < kSiteCount; ++site) {
        if (!searchAll && site != static_cast<int>(ssite.load())) continue;
        sites.push_back(site);
        hosts.push_back(GetSite(site).host);
    }
    if (!OnlyLoopback(hosts) && IsConnected() == 0) return false;
    if (checkredway == 1) {
        MessageBox(md,
                   "Sorry can't download missing maps.... Use Tilefetch (Yet to be built) :) ?!",
                   "Whoops!", MB_OK);
        return false;
    }
    // The maps selected now, in the list's order, for the bot selected now:
    // a check or another bot may refill the list while they are fetched.
    std::vector<std::string> maps;
    int rows = ListGetItemCount(md, kLeftList);
    for (int row = 0; row < rows; ++row) {
        if (!ListIsItemSelected(md, kLeftList, row)) continue;
        maps.push_back(RowText(kLeftList, row));
        if (maps.back().size() > 99) maps.back().resize(99);
    }
    if (maps.empty()) {
        MessageBox(md, "Nothing selected!?", "Whoops!", MB_OK);
        return false;
    }
    MakeDirPath(GetTempDir(), 0700);
    DownloadJob job{static_cast<int>(sbot.load()), maps.size() > 1};
    std::size_t installed = 0;
    for (std::size_t i = 0; i < maps.size(); ++i) {
        if (job.batch)
            sprogress("Map " + std::to_string(i + 1) + " of " + std::to_string(maps.size()) + ": " +
                      maps[i]);
        sprogress("Checking for Waypoint....");
        {
            std::lock_guard lock(reportMutex);
            reports.push_back({maps[i], {}, {}, ""});
        }
        std::string outcome = FetchMap(maps[i], sites, searchAll, job);
        Note([&outcome](DownloadReport& r) { r.outcome = outcome; });
        installed += outcome == "installed";
    }
    if (job.batch) {
        std::string line = Summary(
            LastDownloadReports(),
            searchAll ? "not found on any site" : "not found on '" + GetServerName(sites[0]) + "'");
        // A run that installed everything tells only how it went.
        installed == maps.size() ? sprogress(line) : sout(line);
    }
    // The lists show the new state: the check they show runs again (the
    // user may have turned to the redundant-waypoint check meanwhile).
    if (installed > 0) PostCommand(md, checkredway == 1 ? kCheckRedundantButton : kGoButton);
    return installed == maps.size();
}

std::vector<DownloadReport> LastDownloadReports() {
    std::lock_guard lock(reportMutex);
    return reports;
}

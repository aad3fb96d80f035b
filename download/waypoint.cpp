#include "download/waypoint.h"

#include <cstdio>
#include <mutex>

#include "app/nodescan.h"
#include "app/state.h"
#include "app/window.h"
#include "check/lists.h"
#include "download/http.h"
#include "download/sites.h"
#include "download/zip.h"
#include "platform/files.h"
#include "settings/locator.h"

namespace {
constexpr int kProgressBar = 157;
constexpr int kSearchAll = 111;
constexpr std::int64_t kLargeFile = 300000;

std::mutex reportMutex;
DownloadReport report;

// Ends the job: records how, for LastDownloadReport.
bool Ended(const char* outcome, bool result) {
    std::lock_guard lock(reportMutex);
    report.outcome = outcome;
    return result;
}

// A name that stays inside the directory it is meant for.
bool PlainFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos && name.find('\0') == std::string::npos;
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
                     int site) {
    if (Download(host, file, dir, "HEAD") != 1) {
        if (LastRequestUnreachable()) ServerError(site);
        return -1;
    }
    std::uint32_t size = FindSize(file, site);
    if (size == 0xFFFFFFFFu) return -1;
    if (size > kLargeFile) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "This file is %u bytes in size.\nThis seems too large for a waypoint "
                      "file.\nWould you still like to download it?",
                      size);
        if (MessageBox(md, text, "File to large?", MB_YESNO | MB_ICONQUESTION) != IDYES) return -1;
    }
    return size;
}

int InitDownloadWaypoint(std::string* remote, std::string* local, const std::string& map, int site,
                         bool* installed) {
    std::string host, dir;
    {
        std::lock_guard lock(reportMutex);
        report.sites.push_back(site);
    }
    GetDownloadSettings(site, &host, remote, local, &dir, map);
    for (const std::string* name : {remote, local}) {
        if (!PlainFileName(*name)) {
            sout("Refused: '" + *name + "' from the fields of '" + GetServerName(site) +
                 "' is not a plain file name");
            return 0;
        }
    }
    // Whatever comes of this site, nothing of it stays in the temporary directory.
    struct Cleanup {
        const std::string& file;
        ~Cleanup() { RemoveSaved(file); }
    } cleanup{*remote};
    std::int64_t size = GetSize(host, *remote, dir, site);
    if (size < 0) return 0;
    ShowControl(md, kProgressBar, true);
    ProgressSetRange(md, kProgressBar, 0, static_cast<int>((size / 1024) & 0xFFFF));
    ProgressSetStep(md, kProgressBar, 1);
    ProgressSetPos(md, kProgressBar, 0);
    sprogress("Downloading Waypoint file");
    if (Download(host, *remote, dir, "GET") != 1) {
        if (LastRequestUnreachable()) ServerError(site);
        return 0;
    }
    if (CheckFile(*remote) != 1) return 0;
    *installed = ExtractFiles(*remote, *local);
    if (*installed) sprogress("Success....");
    return 1;
}

bool DownloadWaypoint() {
    {
        std::lock_guard lock(reportMutex);
        report = {};
    }
    // The sites the job may ask: a network is needed unless all are on this machine.
    std::vector<std::string> hosts;
    for (int site = 0; site < kSiteCount; ++site)
        if (IsDlgButtonChecked(md, kSearchAll) || site == static_cast<int>(ssite.load()))
            hosts.push_back(GetSite(site).host);
    if (!OnlyLoopback(hosts) && IsConnected() == 0) return Ended("refused", false);
    if (checkredway == 1) {
        MessageBox(md,
                   "Sorry can't download missing maps.... Use Tilefetch (Yet to be built) :) ?!",
                   "Whoops!", MB_OK);
        return Ended("refused", false);
    }
    if (ListGetSelectedCount(md, kLeftList) == 0) {
        MessageBox(md, "Nothing selected!?", "Whoops!", MB_OK);
        return Ended("refused", false);
    }
    sprogress("Checking for Waypoint....");
    MakeDirPath(GetTempDir(), 0700);
    int rows = ListGetItemCount(md, kLeftList);
    int row = 0;
    while (row < rows && !ListIsItemSelected(md, kLeftList, row)) ++row;
    if (row == rows) return Ended("refused", false);
    std::string map = RowText(kLeftList, row);
    if (map.size() > 99) map.resize(99);
    {
        std::lock_guard lock(reportMutex);
        report.map = map;
    }
    std::string remote, local;
    bool installed = false;
    auto fetched = [&] { return Ended(installed ? "installed" : "not installed", installed); };
    if (IsDlgButtonChecked(md, kSearchAll)) {
        for (int site = 0; site < kSiteCount; ++site)
            if (InitDownloadWaypoint(&remote, &local, map, site, &installed) == 1) return fetched();
        MessageBox(md, "All Sites Failed!! Please search for it manually", remote,
                   MB_OK | MB_ICONINFORMATION);
        return Ended("not found", false);
    }
    if (InitDownloadWaypoint(&remote, &local, map, static_cast<int>(ssite.load()), &installed) == 1)
        return fetched();
    return Ended("not found", false);
}

DownloadReport LastDownloadReport() {
    std::lock_guard lock(reportMutex);
    return report;
}

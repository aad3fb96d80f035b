// Fetching missing waypoints from the download sites (job 0 of the worker).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How one site's try for a map ended.
enum class SiteEnd {
    Fetched,   // the file came (installed or not)
    NotFound,  // the site has no such file (404 or 410)
    Declined,  // the user declined a file that large
    Failed,    // anything else: unreachable, an error status, a refused name
};

// The host, the remote and local file names and the directory of row site
// for the left-list text map.
void GetDownloadSettings(int site, std::string* host, std::string* remote, std::string* local,
                         std::string* dir, const std::string& map);
// The announced size of the file, or -1 when this site is to be skipped
// (end then tells why).
std::int64_t GetSize(const std::string& host, const std::string& file, const std::string& dir,
                     int site, SiteEnd* end);
// What a job keeps for each of its maps: the bot it installs for (the one
// selected when it began, whatever is chosen meanwhile), and whether the
// map is one of several, whose installs show no box each.
struct DownloadJob {
    int bot;
    bool batch;
};
// Tries one site for map: Fetched when the file came (installed tells
// whether it could be installed), else why this site yielded nothing.
SiteEnd InitDownloadWaypoint(std::string* remote, std::string* local, const std::string& map,
                             int site, const DownloadJob& job, bool* installed);
// The job: each selected map of the left list in turn, from the selected
// site or from each site in turn with "Search All"; with several maps a
// summary line at the end. After anything was installed the check that the
// lists show runs again. True when every map was installed.
bool DownloadWaypoint();

// What the last job did for one map: the site rows tried in order, the files
// installed, and how it ended: "installed", "not installed" (the file came
// but could not be installed), "not found", "declined" or "failed".
struct DownloadReport {
    std::string map;
    std::vector<int> sites;
    std::vector<std::string> installed;
    std::string outcome;
};
// One report per map of the last job, in the order fetched; none when the
// job was refused (no connection, the redundant check's lists, no selection).
std::vector<DownloadReport> LastDownloadReports();

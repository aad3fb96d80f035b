// Fetching a missing waypoint from the download sites (job 0 of the worker).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The host, the remote and local file names and the directory of row site
// for the left-list text map.
void GetDownloadSettings(int site, std::string* host, std::string* remote, std::string* local,
                         std::string* dir, const std::string& map);
// The announced size of the file, or -1 when this site is to be skipped.
std::int64_t GetSize(const std::string& host, const std::string& file, const std::string& dir,
                     int site);
// Tries one site: 1 when the file was fetched (installed tells whether it
// could be installed), 0 when this site failed.
int InitDownloadWaypoint(std::string* remote, std::string* local, const std::string& map, int site,
                         bool* installed);
// The job: the first selected map of the left list from the selected site,
// or from each site in turn with "Search All". True when it was installed.
bool DownloadWaypoint();

// What the last waypoint download did, for a report: the map, the site rows
// tried in order, and how it ended ("installed", "not installed" when the
// file came but could not be installed, "not found", "refused").
struct DownloadReport {
    std::string map;
    std::vector<int> sites;
    std::string outcome;
};
DownloadReport LastDownloadReport();

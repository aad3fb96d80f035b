#include "download/sites.h"

#include <cstring>
#include <mutex>

#include "core/fields.h"
#include "core/state.h"
#include "platform/ui.h"
#include "resources/ids.h"

namespace {
// How many characters the editor keeps of each field.
constexpr std::size_t kNameChars = 49, kStartChars = 5, kEndChars = 6, kExtChars = 4,
                      kHostChars = 49, kDirChars = 49;

constexpr SiteRecord Preset(char digit, const char* name, const char* start, const char* ext,
                            const char* host, const char* dir, int num) {
    SiteRecord r{};
    r.key[0] = 'S', r.key[1] = 'i', r.key[2] = 't', r.key[3] = 'e', r.key[4] = digit;
    for (int i = 0; name[i]; ++i) r.name[i] = name[i];
    for (int i = 0; start[i]; ++i) r.start[i] = start[i];
    for (int i = 0; ext[i]; ++i) r.ext[i] = ext[i];
    for (int i = 0; host[i]; ++i) r.host[i] = host[i];
    for (int i = 0; dir[i]; ++i) r.dir[i] = dir[i];
    r.num = num;
    return r;
}

// The preset sites name hosts that never resolve (the .example domain, a
// documentation address), so that no request reaches anybody's server by default.
constexpr SiteRecord kPresets[kSiteCount] = {
    Preset('1', "Brimlock Wpts", "", "pwf", "www.nodescan.example", "/wpts", 0),
    Preset('2', "Bunker Wpts", "", "zip", "members.freehost.example", "/~bunkerboy", 1),
    Preset('3', "Outpost Wpts", "", "pwf", "192.0.2.17", "/cstrike", 2),
    Preset('4', "Trench Wpts", "wpt", "zip", "waypoints.trench.example", "", 3),
    Preset('5', "Enter a name", "", "pwf", "Enter Host name", "Enter dir", 4),
    Preset('6', "Enter a name", "", "zip", "Enter Host name", "Enter dir", 5),
};

std::mutex sitesMutex;

int Clamp(int site) {
    return site < 0 ? 0 : (site >= kSiteCount ? kSiteCount - 1 : site);
}
}  // namespace

std::atomic<std::uint32_t> ssite{0};
std::atomic<int> AppStart{0};
SiteRecord Sites[kSiteCount] = {kPresets[0], kPresets[1], kPresets[2],
                                kPresets[3], kPresets[4], kPresets[5]};

const SiteRecord& PresetSite(int site) {
    return kPresets[Clamp(site)];
}

SiteInfo GetSite(int site) {
    std::lock_guard lock(sitesMutex);
    const SiteRecord& r = Sites[Clamp(site)];
    return {FieldText(r.name), FieldText(r.start), FieldText(r.end),
            FieldText(r.ext),  FieldText(r.host),  FieldText(r.dir)};
}

SiteRecord GetSiteRow(int site) {
    std::lock_guard lock(sitesMutex);
    return Sites[Clamp(site)];
}

void SetSiteRow(int site, const SiteRecord& row) {
    std::lock_guard lock(sitesMutex);
    Sites[Clamp(site)] = row;
}

bool SetSiteField(int site, const std::string& field, const std::string& text) {
    std::lock_guard lock(sitesMutex);
    SiteRecord& r = Sites[Clamp(site)];
    if (field == "name")
        SetFieldText(r.name, text, kNameChars);
    else if (field == "start")
        SetFieldText(r.start, text, kStartChars);
    else if (field == "end")
        SetFieldText(r.end, text, kEndChars);
    else if (field == "ext")
        SetFieldText(r.ext, text, kExtChars);
    else if (field == "host")
        SetFieldText(r.host, text, kHostChars);
    else if (field == "dir")
        SetFieldText(r.dir, text, kDirChars);
    else
        return false;
    return true;
}

std::string GetServerName(int site) {
    return GetSite(site).name;
}

void SetSiteInfo(unsigned code, unsigned position) {
    AppStart = 0;
    int site = static_cast<int>(ssite.load());
    switch (code) {
        case SB_LINEUP:
        case SB_PAGEUP:
            site -= 1;
            break;
        case SB_LINEDOWN:
        case SB_PAGEDOWN:
            site += 1;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            site = static_cast<int>(std::min(position, 1000u));
            break;
        default:
            AppStart = 1;
            return;
    }
    site = Clamp(site);
    ssite = static_cast<std::uint32_t>(site);
    ScrollSetPos(md, kSiteScrollBar, site);
    SiteInfo s = GetSite(site);
    SetDlgItemText(md, kSiteEndField, s.end);
    SetDlgItemText(md, kSiteStartField, s.start);
    SetDlgItemText(md, kSiteExtField, s.ext);
    SetDlgItemText(md, kSiteHostField, s.host);
    SetDlgItemText(md, kSiteDirField, s.dir);
    SetDlgItemText(md, kSiteNameField, s.name);
    AppStart = 1;
}

void SiteInfoChanged() {
    if (AppStart == 0) return;
    int site = Clamp(static_cast<int>(ssite.load()));
    std::string name = GetDlgItemText(md, kSiteNameField), ext = GetDlgItemText(md, kSiteExtField),
                host = GetDlgItemText(md, kSiteHostField), dir = GetDlgItemText(md, kSiteDirField),
                start = GetDlgItemText(md, kSiteStartField),
                end = GetDlgItemText(md, kSiteEndField);
    std::lock_guard lock(sitesMutex);
    SiteRecord& r = Sites[site];
    SetFieldText(r.name, name, kNameChars);
    SetFieldText(r.ext, ext, kExtChars);
    SetFieldText(r.host, host, kHostChars);
    SetFieldText(r.dir, dir, kDirChars);
    SetFieldText(r.start, start, kStartChars);
    SetFieldText(r.end, end, kEndChars);
}

void ResetSites() {
    std::lock_guard lock(sitesMutex);
    for (int n = 0; n < kSiteCount; ++n) Sites[n] = kPresets[n];
    ssite = 0;
    AppStart = 0;
}

// The six download sites: the table, the site selector and the site editor
// of the main window's advanced panel.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One site. The byte layout is also the stored format of a row.
struct SiteRecord {
    char key[5];  // "Site1".."Site6", no terminator
    char name[50];
    char start[6];
    char end[7];
    char ext[6];
    char host[50];
    char dir[50];
    char zero[2];
    std::int32_t num;
};
static_assert(sizeof(SiteRecord) == 180);
static_assert(offsetof(SiteRecord, name) == 5);
static_assert(offsetof(SiteRecord, start) == 55);
static_assert(offsetof(SiteRecord, end) == 61);
static_assert(offsetof(SiteRecord, ext) == 68);
static_assert(offsetof(SiteRecord, host) == 74);
static_assert(offsetof(SiteRecord, dir) == 124);
static_assert(offsetof(SiteRecord, num) == 176);

inline constexpr int kSiteCount = 6;

// Guarded by the accessors below; read it directly only while no other
// thread runs.
extern SiteRecord Sites[kSiteCount];
// The selected site row, 0 to 5.
extern std::atomic<std::uint32_t> ssite;
// 1: text typed into the site boxes is copied into row ssite; 0 while the
// program itself fills the boxes.
extern std::atomic<int> AppStart;

// The fields of a row, each cut at its width when it has no terminator.
struct SiteInfo {
    std::string name, start, end, ext, host, dir;
};
SiteInfo GetSite(int site);
SiteRecord GetSiteRow(int site);
void SetSiteRow(int site, const SiteRecord& row);
// A field of row site set as the editor sets it: at most the editor's
// number of characters, the bytes after the terminator left as they were.
// field is one of name, start, end, ext, host, dir; false for another.
bool SetSiteField(int site, const std::string& field, const std::string& text);
// The compiled-in rows.
const SiteRecord& PresetSite(int site);

std::string GetServerName(int site);
// The site selector: scroll code and thumb position of the scroll bar.
void SetSiteInfo(unsigned code, unsigned position);
// The site editor: copies the six site boxes into row ssite.
void SiteInfoChanged();
// Gives every row its compiled-in content and selects row 0, the editor off
// (tests: a new run).
void ResetSites();

// The text of a hive file: parsing and writing the registry export format,
// and the keys' changes that a save merges into the file as it is then.
#include "platform/common/regfile.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace regfile {
namespace {

// Whether s holds the lower-case prefix at at, ignoring ASCII case.
bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
    for (; *prefix; ++prefix, ++at) {
        char c = at < s.size() ? s[at] : '\0';
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != *prefix) return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// 1 to maxDigits hex digits from s[*i]; false when there are none or more.
bool ParseHexNumber(const std::string& s, std::size_t* i, int maxDigits, std::uint32_t* out) {
    std::uint32_t v = 0;
    int n = 0;
    for (; *i < s.size() && HexDigit(s[*i]) >= 0; ++*i, ++n) {
        if (n == maxDigits) return false;
        v = v << 4 | static_cast<std::uint32_t>(HexDigit(s[*i]));
    }
    *out = v;
    return n > 0;
}

void SkipBlanks(const std::string& s, std::size_t* i) {
    while (*i < s.size() && (s[*i] == ' ' || s[*i] == '\t')) ++*i;
}

// A quoted string at s[*i] with the escapes \\ \" \n \r \0; *i ends after it.
bool ParseQuoted(const std::string& s, std::size_t* i, std::string* out) {
    if (*i >= s.size() || s[*i] != '"') return false;
    out->clear();
    for (++*i; *i < s.size(); ++*i) {
        char c = s[*i];
        if (c == '"') {
            ++*i;
            return true;
        }
        if (c == '\\') {
            if (++*i == s.size()) return false;
            switch (s[*i]) {
                case '\\':
                    c = '\\';
                    break;
                case '"':
                    c = '"';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case '0':
                    c = '\0';
                    break;
                default:
                    return false;
            }
        }
        out->push_back(c);
    }
    return false;  // no closing quote
}

// Comma-separated bytes of one or two hex digits, blanks allowed around them.
bool ParseHexBytes(const std::string& s, std::size_t i, std::string* out) {
    out->clear();
    SkipBlanks(s, &i);
    if (i == s.size()) return true;
    while (true) {
        SkipBlanks(s, &i);
        std::uint32_t b;
        if (!ParseHexNumber(s, &i, 2, &b)) return false;
        out->push_back(static_cast<char>(b));
        SkipBlanks(s, &i);
        if (i == s.size()) return true;
        if (s[i++] != ',') return false;
    }
}

// UTF-16LE bytes as UTF-8; false for an odd count or a lone surrogate.
bool Utf16ToUtf8(const char* p, std::size_t n, std::string* out) {
    if (n % 2 != 0) return false;
    auto unit = [p](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i]) |
                                          static_cast<unsigned char>(p[i + 1]) << 8);
    };
    out->clear();
    out->reserve(n + n / 2);
    for (std::size_t i = 0; i < n; i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 2 >= n || unit(i + 2) < 0xDC00 || unit(i + 2) > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        AppendUtf8(*out, c);
    }
    return true;
}

// The data after "=": "text", dword:xxxxxxxx, hex:.. or hex(type):.. In a
// version 5 file (unicode), hex(1) holds UTF-16LE text, kept as UTF-8
// without its terminating zero.
bool ParseData(const std::string& s, std::size_t i, bool unicode, std::uint32_t* type,
               std::string* data) {
    if (i < s.size() && s[i] == '"') {
        *type = kRegSz;
        return ParseQuoted(s, &i, data) && i == s.size();
    }
    std::uint32_t v;
    if (StartsWithNoCase(s, i, "dword:")) {
        i += 6;
        if (!ParseHexNumber(s, &i, 8, &v) || i != s.size()) return false;
        *type = kRegDword;
        data->clear();
        for (int b = 0; b < 4; ++b) data->push_back(static_cast<char>(v >> (8 * b) & 0xFF));
        return true;
    }
    if (StartsWithNoCase(s, i, "hex:")) {
        *type = kRegBinary;
        return ParseHexBytes(s, i + 4, data);
    }
    if (StartsWithNoCase(s, i, "hex(")) {
        i += 4;
        if (!ParseHexNumber(s, &i, 8, &v) || s.compare(i, 2, "):") != 0) return false;
        *type = v;
        if (!ParseHexBytes(s, i + 2, data)) return false;
        if (!unicode || v != kRegSz) return true;
        std::string text;
        if (!Utf16ToUtf8(data->data(), data->size(), &text)) return false;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        *data = std::move(text);
        return true;
    }
    return false;  // also "-", the deletion of an import file
}

// The next physical line without its line end and trailing blanks.
bool NextLine(const std::string& text, std::size_t* pos, std::string* line) {
    if (*pos >= text.size()) return false;
    std::size_t end = text.find('\n', *pos);
    if (end == std::string::npos) end = text.size();
    std::size_t last = end;
    while (last > *pos &&
           (text[last - 1] == '\r' || text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    line->assign(text, *pos, last - *pos);
    *pos = end + 1;
    return true;
}

void TrimLeft(std::string& s) {
    std::size_t i = 0;
    SkipBlanks(s, &i);
    s.erase(0, i);
}
std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool PrintableAscii(const std::string& s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// regedit's wrapping: after each byte but the last, wrap once the line
// (without the backslash) has reached 77 columns; continuation lines are
// indented two spaces.
void AppendHex(std::string& out, std::size_t column, const std::string& data) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
        if (i + 1 == data.size()) break;
        out.push_back(',');
        column += 3;
        if (column >= 77) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
}

void AppendValue(std::string& out, const Value& v) {
    std::size_t start = out.size();
    out += v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
    char buf[32];
    if (v.type == kRegSz && PrintableAscii(v.data)) {
        out += "\"" + Escape(v.data) + "\"";
    } else if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t d = 0;
        for (int b = 3; b >= 0; --b) d = d << 8 | static_cast<unsigned char>(v.data[b]);
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
        out += buf;
    } else {
        if (v.type == kRegBinary)
            std::snprintf(buf, sizeof buf, "hex:");
        else
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
        AppendHex(out, out.size() - start, v.data);
    }
    out += "\r\n";
}

// Positions of the items keyed by their folded names.
template <typename T, typename NameOf>
void Reindex(const std::vector<T>& items, NameOf nameOf,
             std::unordered_map<std::string, std::size_t>* index) {
    index->clear();
    index->reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) index->emplace(FoldCase(nameOf(items[i])), i);
}

// Whether a folded key path is one of trees or lies below one ("tree\...").
bool InTrees(const std::string& folded, const std::unordered_set<std::string>& trees) {
    for (std::size_t end = folded.find('\\');; end = folded.find('\\', end + 1)) {
        if (trees.count(folded.substr(0, end)) != 0) return true;
        if (end == std::string::npos) return false;
    }
}

}  // namespace

const Value* Key::Find(const std::string& name) const {
    auto it = index_.find(FoldCase(name));
    return it == index_.end() ? nullptr : &values_[it->second];
}

void Key::Set(const std::string& name, std::uint32_t type, std::string data) {
    auto [it, added] = index_.try_emplace(FoldCase(name), values_.size());
    if (added) {
        values_.push_back(Value{name, type, std::move(data)});
    } else {
        values_[it->second].type = type;
        values_[it->second].data = std::move(data);
    }
}

bool Key::Remove(const std::unordered_set<std::string>& folded) {
    if (std::none_of(folded.begin(), folded.end(),
                     [this](const std::string& f) { return index_.count(f) != 0; }))
        return false;
    std::erase_if(values_, [&](const Value& v) { return folded.count(FoldCase(v.name)) != 0; });
    Reindex(
        values_, [](const Value& v) { return v.name; }, &index_);
    return true;
}

Key* Keys::Find(const std::string& path) {
    auto it = index_.find(FoldCase(path));
    return it == index_.end() ? nullptr : &list_[it->second];
}

const Key* Keys::Find(const std::string& path) const {
    return const_cast<Keys*>(this)->Find(path);
}

Key& Keys::Add(const std::string& path) {
    auto [it, added] = index_.try_emplace(FoldCase(path), list_.size());
    if (added) list_.emplace_back(path);
    return list_[it->second];
}

bool Keys::RemoveTrees(const std::unordered_set<std::string>& folded) {
    std::size_t before = list_.size();
    std::erase_if(list_, [&](const Key& k) { return InTrees(FoldCase(k.path), folded); });
    if (list_.size() == before) return false;
    Reindex(
        list_, [](const Key& k) { return k.path; }, &index_);
    return true;
}

bool Parse(const std::string& raw, Keys* keys) {
    *keys = Keys();
    // UTF-16LE text (byte-order mark FF FE) is read as UTF-8; a UTF-8
    // byte-order mark is skipped.
    std::string decoded;
    const std::string* text = &raw;
    std::size_t pos = 0;
    if (raw.compare(0, 2, "\xFF\xFE") == 0) {
        if (!Utf16ToUtf8(raw.data() + 2, raw.size() - 2, &decoded)) return false;
        text = &decoded;
    } else if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        pos = 3;
    }
    std::string s, next;
    if (!NextLine(*text, &pos, &s)) return true;  // no text at all
    bool unicode = s == "Windows Registry Editor Version 5.00";
    if (!unicode && s != "REGEDIT4") return false;
    Key* current = nullptr;  // the key that values go to
    while (NextLine(*text, &pos, &s)) {
        TrimLeft(s);
        if (s.empty() || s[0] == ';') continue;
        while (s.back() == '\\') {  // a value continued on the next line
            s.pop_back();
            if (!NextLine(*text, &pos, &next)) return false;
            TrimLeft(next);
            s += next;
            if (s.empty()) return false;
        }
        if (s[0] == '[') {
            if (s.size() < 3 || s.back() != ']' || s[1] == '-') return false;
            current = &keys->Add(s.substr(1, s.size() - 2));
            continue;
        }
        if (!current) return false;  // a value before any key
        std::size_t i = 0;
        std::string name;
        if (s[0] == '@')
            i = 1;
        else if (!ParseQuoted(s, &i, &name))
            return false;
        SkipBlanks(s, &i);
        if (i == s.size() || s[i++] != '=') return false;
        SkipBlanks(s, &i);
        std::uint32_t type;
        std::string data;
        if (!ParseData(s, i, unicode, &type, &data)) return false;
        current->Set(name, type, std::move(data));
    }
    return true;
}

std::string Format(const Keys& keys) {
    std::string out = "REGEDIT4\r\n";
    for (const auto& k : keys.list()) {
        out += "\r\n[" + k.path + "]\r\n";
        for (const auto& v : k.values()) AppendValue(out, v);
    }
    out += "\r\n";
    return out;
}

Changes Diff(const Keys& before, const Keys& after, const Written* written) {
    Changes changes;
    for (const Key& k : before.list())
        if (!after.Find(k.path)) changes.removedKeys.insert(FoldCase(k.path));
    for (const Key& k : after.list()) {
        // A key below a removed one is made again whole, as the removal takes it.
        bool below = InTrees(FoldCase(k.path), changes.removedKeys);
        const Key* old = below ? nullptr : before.Find(k.path);
        KeyChange change{k.path, {}, {}};
        auto differs = [](const Value* v, const Value* was) {
            return !was || was->type != v->type || was->data != v->data;
        };
        if (old && written) {
            auto names = written->find(FoldCase(k.path));
            if (names == written->end()) continue;
            std::vector<const Value*> set;
            for (const std::string& name : names->second) {
                const Value* v = k.Find(name);
                const Value* was = old->Find(name);
                if (v && differs(v, was)) set.push_back(v);
                if (!v && was) change.removed.insert(name);
            }
            std::sort(set.begin(), set.end());  // in the key's order
            for (const Value* v : set) change.set.push_back(*v);
        } else {
            for (const Value& v : k.values())
                if (differs(&v, old ? old->Find(v.name) : nullptr)) change.set.push_back(v);
            if (old)
                for (const Value& v : old->values())
                    if (!k.Find(v.name)) change.removed.insert(FoldCase(v.name));
        }
        if (!old || !change.set.empty() || !change.removed.empty())
            changes.keys.push_back(std::move(change));
    }
    return changes;
}

bool Apply(const Changes& changes, Keys* keys) {
    bool changed = !changes.removedKeys.empty() && keys->RemoveTrees(changes.removedKeys);
    for (const KeyChange& c : changes.keys) {
        Key* k = keys->Find(c.path);
        if (!k) {
            k = &keys->Add(c.path);
            changed = true;
        }
        for (const Value& v : c.set) {
            const Value* there = k->Find(v.name);
            if (there && there->type == v.type && there->data == v.data) continue;
            k->Set(v.name, v.type, v.data);
            changed = true;
        }
        if (!c.removed.empty() && k->Remove(c.removed)) changed = true;
    }
    return changed;
}

}  // namespace regfile

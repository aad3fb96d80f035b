#include "cli/help.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "platform/console.h"

namespace {
// text broken at blanks into lines of at most width characters (a longer
// word stands alone); its own line breaks stay.
std::string Wrap(const std::string& text, std::size_t width) {
    std::string out, line, word;
    std::istringstream lines(text);
    for (std::string para; std::getline(lines, para);) {
        std::istringstream words(para);
        line.clear();
        while (words >> word) {
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                out += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        out += line + "\n";
    }
    if (!text.empty() && text.back() != '\n') out.pop_back();
    return out;
}
}  // namespace

// The last column is left free: a full line would wrap on some terminals.
HelpFormatter::HelpFormatter(std::size_t width) : width_(std::max<std::size_t>(width, 40) - 1) {
    column_width(std::min<std::size_t>(30, width_ / 3));
}

std::size_t HelpFormatter::TerminalWidth() {
    if (std::size_t columns = TerminalColumns()) return columns;
    const char* columns = std::getenv("COLUMNS");
    int n = columns ? std::atoi(columns) : 0;
    return n > 0 ? static_cast<std::size_t>(n) : 80;
}

void HelpFormatter::Ignores(const CLI::App* command, std::vector<std::string> names) {
    ignored_[command] = std::move(names);
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name,
                                     CLI::AppFormatMode mode) const {
    std::string out = CLI::Formatter::make_help(app, name, mode);
    if (mode == CLI::AppFormatMode::Sub) return out;
    // The options of the program (and of a command's command) that this one
    // takes too, wherever they stand on the line.
    auto it = ignored_.find(app);
    std::vector<const CLI::Option*> taken;
    for (const CLI::App* up = app->get_parent(); up; up = up->get_parent()) {
        for (const CLI::Option* opt : up->get_options()) {
            if (!opt->nonpositional() || opt == up->get_help_ptr() ||
                opt == up->get_help_all_ptr() || opt == up->get_version_ptr())
                continue;
            if (it == ignored_.end() ||
                std::count(it->second.begin(), it->second.end(), opt->get_name()) == 0)
                taken.push_back(opt);
        }
    }
    if (taken.empty()) return out;
    out.erase(out.find_last_not_of('\n') + 1);
    return out + "\n" +
           make_group("Options of nodescan-cli, before or after the command", false, taken) + "\n";
}

std::string HelpFormatter::make_description(const CLI::App* app) const {
    return Wrap(CLI::Formatter::make_description(app), width_);
}

std::string HelpFormatter::make_subcommand(const CLI::App* sub) const {
    std::stringstream out;
    CLI::detail::format_help(out, sub->get_display_name(true),
                             Wrap(sub->get_description(), width_ - column_width_), column_width_);
    return out.str();
}

std::string HelpFormatter::make_option_desc(const CLI::Option* opt) const {
    return Wrap(opt->get_description(), width_ - column_width_);
}

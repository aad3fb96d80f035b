// The help of nodescan-cli: each command's lists the program's options that
// it takes too, and every text is wrapped to the terminal's width.
#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

class HelpFormatter : public CLI::Formatter {
  public:
    // Wrapped to width columns (the terminal's, when standard output is one).
    explicit HelpFormatter(std::size_t width);
    static std::size_t TerminalWidth();
    // Program options that command ignores or refuses: left out of its help.
    void Ignores(const CLI::App* command, std::vector<std::string> names);

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;
    std::string make_description(const CLI::App* app) const override;
    std::string make_subcommand(const CLI::App* sub) const override;
    std::string make_option_desc(const CLI::Option* opt) const override;

  private:
    std::size_t width_;
    std::map<const CLI::App*, std::vector<std::string>> ignored_;
};

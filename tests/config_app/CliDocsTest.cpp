// The command line's manual page and bash completion name every subcommand, every long option
// and every value an option is limited to, as the command line itself defines them.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "cli/CliContext.h"

namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(QELTA_SOURCE_DIR) + "/" + relative);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Roff writes a minus as "\-".
std::string Unroff(std::string text) {
  for (std::size_t at = 0; (at = text.find("\\-", at)) != std::string::npos;)
    text.replace(at, 2, "-");
  return text;
}

// `word` stands in `text` on its own: not as part of a longer name.
bool HasWord(const std::string& text, const std::string& word) {
  auto nameChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool before = at > 0 && nameChar(text[at - 1]);
    const bool after = at + word.size() < text.size() && nameChar(text[at + word.size()]);
    if (!before && !after) return true;
  }
  return false;
}

std::string Help(std::vector<std::string> args) {
  args.insert(args.begin(), "qeltaconfig-cli");
  args.push_back("--help");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars());
  return out.str() + err.str();
}

// Every name the command line defines: subcommands, long options (from the help of the program
// and of each subcommand, so the options of the runner count too) and the values of options
// limited to a set ("--output TEXT:{text,rows,json}").
std::set<std::string> CommandLineNames() {
  std::ostringstream out, err;
  CliContext ctx(out, err);
  CLI::App app;
  for (const auto& registrar : AllCliRegistrars()) registrar(app, ctx);
  std::set<std::string> names;
  std::vector<std::string> helps{Help({})};
  for (const CLI::App* sub : app.get_subcommands({})) {
    names.insert(sub->get_name());
    helps.push_back(Help({sub->get_name()}));
  }
  const std::regex option("--([a-z][a-z0-9-]*)");
  const std::regex values(":\\{([a-z0-9,]+)\\}");
  for (const std::string& help : helps) {
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it)
      names.insert("--" + (*it)[1].str());
    for (std::sregex_iterator it(help.begin(), help.end(), values), end; it != end; ++it) {
      std::stringstream list((*it)[1].str());
      for (std::string value; std::getline(list, value, ',');) names.insert(value);
    }
  }
  return names;
}

TEST(CliDocsTest, ManPageAndCompletionNameEverything) {
  const std::set<std::string> names = CommandLineNames();
  // What the help itself shows and what the others are checked against.
  ASSERT_TRUE(names.count("ports") && names.count("--yes") && names.count("--station"));
  ASSERT_TRUE(names.count("ok") && names.count("cancel"));
  const std::pair<const char*, std::string> documents[] = {
      {"docs/man/qeltaconfig-cli.1", Unroff(ReadSource("docs/man/qeltaconfig-cli.1"))},
      {"config/cli/completion/qeltaconfig-cli.bash",
       ReadSource("config/cli/completion/qeltaconfig-cli.bash")},
  };
  for (const auto& [file, text] : documents) {
    ASSERT_FALSE(text.empty()) << file;
    for (const std::string& name : names)
      EXPECT_TRUE(HasWord(text, name)) << name << " in " << file;
    // Named ahead of the command line: the output formats and "View Ethernet settings".
    for (const char* name : {"--output", "text", "rows", "json", "bs-view"})
      EXPECT_TRUE(HasWord(text, name)) << name << " in " << file;
  }
}

}  // namespace

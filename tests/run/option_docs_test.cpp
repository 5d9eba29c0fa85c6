#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "run/option_docs.h"
#include "run/option_table.h"
#include "support/run_binary.h"
#include "support/storage_override.h"

namespace {
size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The roff a man page shows for a plain word: minus signs escaped.
std::string roff_word(const std::string& word) {
  std::string out;
  for (char c : word) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}
}  // namespace

TEST(OptionDocs, HelpListsEveryOptionWithItsDefaultWithinEightyColumns) {
  const std::string help = help_text();
  // Lines are joined back so that a default broken over two lines is still found.
  std::string joined;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 79u) << line;
    const size_t text = line.find_first_not_of(' ');
    joined += ' ';
    if (text != std::string::npos) joined.append(line, text);
  }
  for (const option_info& o : option_table()) {
    EXPECT_NE(help.find("  " + std::string(o.word)), std::string::npos) << o.word;
    if (o.long_word) {
      EXPECT_NE(help.find(std::string(", ") + o.long_word), std::string::npos) << o.long_word;
    }
    if (o.default_text) {
      EXPECT_NE(joined.find(std::string("Default: ") + o.default_text + "."), std::string::npos) << o.word;
    }
  }
  EXPECT_NE(help.find("Exit status: 0"), std::string::npos);
  EXPECT_NE(help.find("man quiltmerge"), std::string::npos);
}

TEST(OptionDocs, ManOptionsHaveOneTaggedParagraphPerOption) {
  const std::string man = man_options();
  EXPECT_EQ(count(man, ".TP\n"), option_table().size());
  for (const option_info& o : option_table()) {
    EXPECT_NE(man.find(".TP\n\\fB" + roff_word(o.word) + "\\fR"), std::string::npos) << o.word;
    if (o.default_text) {
      EXPECT_NE(man.find("Default: " + roff_word(o.default_text) + ".\n"), std::string::npos) << o.word;
    }
  }
  // Every line is a request or text that cannot be taken for one.
  std::istringstream lines(man);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line == ".TP" || (line[0] != '.' && line[0] != '\'')) << line;
}

TEST(OptionDocs, ReadmeTableIsTheGeneratedOne) {
  const std::string readme = read_file(QM_README);
  const std::string begin = "<!-- options: made from the option table -->\n", end = "<!-- options end -->";
  const size_t from = readme.find(begin), to = readme.find(end);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), markdown_options());
}

TEST(OptionDocs, HelpFromTheProgramIsBannerAndHelpText) {
  scoped_temp_dir dir;
  binary_run run = run_quiltmerge(dir.path(), "a.jpg --help b.jpg");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, " quiltmerge 1.2.4b started, please wait...\n" + help_text());
  EXPECT_TRUE(dir.entries().empty());
}

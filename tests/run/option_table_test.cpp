#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "run/command_line.h"
#include "run/option_table.h"

namespace {
struct records {
  std::string output = "blended.tif";
  blend_options blend;
  wrap_options wrap;
  run_options run;
  option_target target{output, blend, wrap, run};
};

// Field by field, so that a difference names the field.
void expect_same(const records& a, const records& b, const std::string& option) {
  EXPECT_EQ(a.output, b.output) << option;
  EXPECT_EQ(a.target.x_offset, b.target.x_offset) << option;
  EXPECT_EQ(a.target.y_offset, b.target.y_offset) << option;
  EXPECT_EQ(a.blend.MinSize, b.blend.MinSize) << option;
  EXPECT_EQ(a.blend.TSmooth, b.blend.TSmooth) << option;
  EXPECT_EQ(a.blend.HiPassLevel, b.blend.HiPassLevel) << option;
  EXPECT_NEAR(a.blend.DEC, b.blend.DEC, 5e-5) << option;  // the table shows four places
  EXPECT_NEAR(a.blend.DER, b.blend.DER, 5e-5) << option;
  EXPECT_EQ(a.blend.MaxComp, b.blend.MaxComp) << option;
  EXPECT_EQ(a.blend.SeamVerbose, b.blend.SeamVerbose) << option;
  EXPECT_EQ(a.blend.PyramidVerbose, b.blend.PyramidVerbose) << option;
  EXPECT_EQ(a.wrap.HorWrap, b.wrap.HorWrap) << option;
  EXPECT_EQ(a.wrap.WrapMode, b.wrap.WrapMode) << option;
  EXPECT_EQ(a.wrap.profile, b.wrap.profile) << option;
  EXPECT_TRUE(a.run == b.run) << option;
}

bool same(const records& a, const records& b) {
  return a.output == b.output && a.target.x_offset == b.target.x_offset && a.target.y_offset == b.target.y_offset &&
         a.blend.MinSize == b.blend.MinSize && a.blend.TSmooth == b.blend.TSmooth &&
         a.blend.HiPassLevel == b.blend.HiPassLevel && a.blend.DEC == b.blend.DEC && a.blend.DER == b.blend.DER &&
         a.blend.MaxComp == b.blend.MaxComp && a.blend.SeamVerbose == b.blend.SeamVerbose &&
         a.blend.PyramidVerbose == b.blend.PyramidVerbose && a.wrap.HorWrap == b.wrap.HorWrap &&
         a.wrap.WrapMode == b.wrap.WrapMode && a.wrap.profile == b.wrap.profile && a.run == b.run;
}
}  // namespace

TEST(OptionTable, WordsAndAliasesAreUniqueAndFound) {
  std::set<std::string> words;
  for (const option_info& o : option_table()) {
    EXPECT_TRUE(words.insert(o.word).second) << o.word;
    EXPECT_EQ(find_option(o.word), &o);
    if (o.long_word) {
      EXPECT_TRUE(words.insert(o.long_word).second) << o.long_word;
      EXPECT_EQ(find_option(o.long_word), &o);
    }
  }
  EXPECT_EQ(find_option("-O"), nullptr);
  EXPECT_EQ(find_option("--outpu"), nullptr);
}

TEST(OptionTable, AliasSetsWhatItsWordSets) {
  const char* words[] = {"quiltmerge", "--output", "x.png", "a", "b"};
  input_list inputs;
  std::string output;
  blend_options blend;
  wrap_options wrap;
  run_options run;
  parse_command_line(5, words, inputs, output, blend, wrap, run);
  EXPECT_EQ(output, "x.png");
  EXPECT_EQ(inputs.size(), 2u);
}

// The default shown is what the records hold when the option is absent.
TEST(OptionTable, ShownDefaultsAreTheRecordDefaults) {
  int numbers_checked = 0;
  for (const option_info& o : option_table()) {
    if (!o.apply || !o.default_text || !o.takes_value()) continue;
    std::string first_word;
    std::istringstream(o.default_text) >> first_word;
    records given, absent;
    try {
      o.apply(given.target, o.word, first_word.c_str());
    } catch (const command_line_error&) {
      continue;  // a default in words ("every core") has no value to give
    }
    expect_same(given, absent, o.word);
    ++numbers_checked;
  }
  EXPECT_GE(numbers_checked, 11);
}

TEST(OptionTable, SwitchesShownOffAreOffUntilGiven) {
  for (const option_info& o : option_table()) {
    if (!o.apply || o.takes_value() || !o.default_text) continue;
    EXPECT_STREQ(o.default_text, "off");
    records given, absent;
    o.apply(given.target, o.word, nullptr);
    EXPECT_FALSE(same(given, absent)) << o.word << " changes nothing";
  }
}

#include <gtest/gtest.h>

#include <vector>

#include "io/io_test_files.h"
#include "run/command_line.h"

namespace {
struct parsed {
  input_list inputs;
  std::string output;
  blend_options blend;
  wrap_options wrap;
  run_options run;
};

parsed parse(std::vector<const char*> words) {
  words.insert(words.begin(), "quiltmerge");
  parsed p;
  parse_command_line(static_cast<int>(words.size()), words.data(), p.inputs, p.output, p.blend, p.wrap, p.run);
  return p;
}

std::string error_of(std::vector<const char*> words, bool* usage = nullptr) {
  try {
    parse(words);
  } catch (const command_line_error& e) {
    if (usage) *usage = e.show_usage();
    return e.what();
  }
  return "";
}
}  // namespace

TEST(CommandLine, OffsetsAreRunningValues) {
  parsed p = parse({"a.jpg", "-xoff", "100", "b.jpg", "c.jpg", "-yoff", "5", "-xoff", "0", "d.jpg"});
  ASSERT_EQ(p.inputs.size(), 4u);
  EXPECT_EQ(p.inputs[0].file_name, "a.jpg");
  EXPECT_EQ(p.inputs[0].x_offset, 0);
  EXPECT_EQ(p.inputs[1].x_offset, 100);
  EXPECT_EQ(p.inputs[2].x_offset, 100);
  EXPECT_EQ(p.inputs[2].y_offset, 0);
  EXPECT_EQ(p.inputs[3].x_offset, 0);
  EXPECT_EQ(p.inputs[3].y_offset, 5);
  EXPECT_EQ(p.output, "blended.tif");
}

TEST(CommandLine, OptionsSetTheirFieldsAndLaterWordsWin) {
  parsed p = parse({"-o", "x.png", "-w", "-WrapMode", "0", "-DER", "0.5", "-DEC", "1.5", "-MinSize", "-3",
                    "-MaxComp", "0", "-HiPassLevel", "2", "-TSmooth", "3", "-SeamVerbose", "-PyramidVerbose",
                    "-HorWrap", "4000", "-profile", "-v", "-o", "y.tif", "a", "b"});
  EXPECT_EQ(p.output, "y.tif");
  EXPECT_EQ(p.wrap.WrapMode, 0);
  EXPECT_EQ(p.wrap.HorWrap, 4000);
  EXPECT_TRUE(p.wrap.profile);
  EXPECT_EQ(p.blend.DER, 0.5f);
  EXPECT_EQ(p.blend.HiPassLevel, 2);
  EXPECT_EQ(p.blend.TSmooth, 3);
  EXPECT_TRUE(p.blend.SeamVerbose);
  EXPECT_TRUE(p.blend.PyramidVerbose);
  clamp_blend_options(p.blend);
  EXPECT_EQ(p.blend.DEC, 1.0f);
  EXPECT_EQ(p.blend.MaxComp, 1);
  EXPECT_EQ(p.blend.MinSize, 0);
  EXPECT_EQ(p.inputs.size(), 2u);
}

TEST(CommandLine, DefaultsMatchTheRecords) {
  parsed p = parse({"a", "b"});
  EXPECT_EQ(p.blend.MinSize, 4);
  EXPECT_EQ(p.blend.HiPassLevel, 4);
  EXPECT_EQ(p.blend.DEC, 24.0f / 255.0f);
  EXPECT_EQ(p.blend.DER, 0.25f);
  EXPECT_EQ(p.blend.MaxComp, 81920);
  EXPECT_FALSE(p.blend.SeamVerbose);
  EXPECT_EQ(p.wrap.WrapMode, 0);
}

// A word that merely looks like an option names a file when one exists, and is refused
// when none does, instead of failing later in the loader.
TEST(CommandLine, LookalikeWordsAreFilesOrUnknownOptions) {
  io_test::temp_folder folder;
  const std::string dashed = folder.file("-V.tif");
  io_test::write_content(dashed, "x");
  parsed p = parse({dashed.c_str(), "b.tif"});
  ASSERT_EQ(p.inputs.size(), 2u);
  EXPECT_EQ(p.inputs[0].file_name, dashed);
  for (const char* word : {"-V", "-Xoff", "-vv", "-", "--outputs=x.tif", "-output", "-lx"})
    EXPECT_EQ(error_of({"a", word, "b"}).rfind(std::string("Unknown option: ") + word + " ", 0), 0u) << word;
  EXPECT_EQ(error_of({"a", "b", "--bigtiff=yes"}), "--bigtiff takes no value: --bigtiff=yes");
}

// The forms Hugin and enblend write: --name=value, values glued to -f and -l, and --
// before the inputs.
TEST(CommandLine, FieldConventions) {
  parsed p = parse({"-f3197x1458+86+112", "--compression=LZW", "--output=pano.tif", "-l10", "--levels=5",
                    "-m", "1024", "--fine-mask", "--coarse-mask=4", "--verbose", "-a", "-g", "--", "-w", "b"});
  EXPECT_EQ(p.output, "pano.tif");
  EXPECT_EQ(p.run.compression, tiff_compression::lzw);
  ASSERT_TRUE(p.run.canvas);
  EXPECT_EQ(*p.run.canvas, (irect{86, 112, 86 + 3197 - 1, 112 + 1458 - 1}));
  EXPECT_TRUE(p.run.tiff_positions);
  EXPECT_EQ(p.wrap.WrapMode, 0);  // after --, -w is a file name
  ASSERT_EQ(p.inputs.size(), 2u);
  EXPECT_EQ(p.inputs[0].file_name, "-w");
  const std::vector<std::string> ignored{"-l",          "--levels",  "-m", "--fine-mask",
                                         "--coarse-mask", "--verbose", "-a", "-g"};
  EXPECT_EQ(p.run.ignored, ignored);
  // The enblend options change nothing else.
  parsed plain = parse({"a", "b"}), tuned = parse({"-m", "9", "--optimize", "--no-optimize", "a", "b"});
  tuned.run.ignored.clear();
  EXPECT_TRUE(tuned.run == plain.run);
  EXPECT_EQ(tuned.blend.MinSize, plain.blend.MinSize);
  EXPECT_EQ(tuned.blend.MaxComp, plain.blend.MaxComp);
  EXPECT_EQ(parse({"--canvas", "10x20", "a", "b"}).run.canvas, (irect{0, 0, 9, 19}));
  EXPECT_EQ(parse({"--compression", "Deflate", "a", "b"}).run.compression, tiff_compression::deflate);
  EXPECT_EQ(error_of({"a", "b", "--"}).rfind("Nothing follows --", 0), 0u);
}

TEST(CommandLine, CanvasValues) {
  EXPECT_EQ(parse({"-f", "5x4-3+2", "a", "b"}).run.canvas, (irect{-3, 2, 1, 5}));
  EXPECT_EQ(parse({"-f", "1x1+2147483646+0", "a", "b"}).run.canvas, (irect{2147483646, 0, 2147483646, 0}));
  for (const char* bad : {"3197x", "x10", "10x10+5", "0x10", "10x0", "10x10+5+5px", "10X10", "-5x10", "10x10 ",
                          "3x1+2147483646+0", "99999999999x1"})
    EXPECT_EQ(error_of({"-f", bad, "a", "b"}),
              std::string("Invalid value for -f: \"") + bad +
                  "\"; expected WIDTHxHEIGHT or WIDTHxHEIGHT+X+Y, as 3197x1458+86+112")
        << bad;
  // Glued to -f only a digit may follow; anything else is no canvas at all.
  EXPECT_EQ(error_of({"-fx", "a", "b"}).rfind("Unknown option: -fx", 0), 0u);
}

TEST(CommandLine, WrapModesAndTheCanvasPeriod) {
  EXPECT_EQ(parse({"--wrap", "a", "b"}).wrap.WrapMode, 1);
  EXPECT_EQ(parse({"--wrap=Horizontal", "a", "b"}).wrap.WrapMode, 1);
  EXPECT_EQ(parse({"-w", "--wrap=none", "a", "b"}).wrap.WrapMode, 0);
  for (const char* mode : {"--wrap=vertical", "--wrap=BOTH"})
    EXPECT_NE(error_of({mode, "a", "b"}).find("only horizontal wrapping can be done here"), std::string::npos);
  EXPECT_EQ(error_of({"--wrap=sideways", "a", "b"}),
            "Invalid value for --wrap: \"sideways\"; expected horizontal or none");

  auto period = [](std::vector<const char*> words) {
    parsed p = parse(words);
    check_wrap_mode(p.wrap);
    settle_canvas(p.run, p.wrap);
    return p.wrap.HorWrap;
  };
  EXPECT_EQ(period({"-w", "-f", "6528x880", "a", "b"}), 6528);
  EXPECT_EQ(period({"-f", "6528x880", "-WrapMode", "2", "a", "b"}), 6528);
  EXPECT_EQ(period({"-w", "-HorWrap", "6000", "-f", "6528x880", "a", "b"}), 6000);  // -HorWrap says otherwise
  EXPECT_EQ(period({"-f", "6528x880", "a", "b"}), 0);  // no wrap asked
}

TEST(CommandLine, MissingOrMalformedValuesAreErrors) {
  bool usage = false;
  EXPECT_EQ(error_of({"a", "b", "-xoff"}, &usage), "Missing value for -xoff");
  EXPECT_TRUE(usage);
  EXPECT_EQ(error_of({"a", "-xoff", "1O0", "b"}, &usage), "Invalid value for -xoff: \"1O0\"");
  EXPECT_FALSE(usage);
  EXPECT_EQ(error_of({"-yoff", "2147483648", "a", "b"}), "Invalid value for -yoff: \"2147483648\"");
  EXPECT_EQ(error_of({"-MaxComp", "", "a", "b"}), "Invalid value for -MaxComp: \"\"");
  EXPECT_EQ(error_of({"-DEC", "nan", "a", "b"}), "Invalid value for -DEC: \"nan\"");
  EXPECT_EQ(error_of({"-DER", "0.3x", "a", "b"}), "Invalid value for -DER: \"0.3x\"");
  EXPECT_EQ(error_of({"-yoff", "-2147483648", "-DEC", ".5", "-DER", "1e-3", "a", "b"}), "");
}

TEST(CommandLine, WrapModeOutsideRangeIsDisabled) {
  wrap_options w;
  w.WrapMode = 7;
  w.HorWrap = 10;
  testing::internal::CaptureStdout();
  check_wrap_mode(w);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid WrapMode (disabled ...)\n");
  EXPECT_EQ(w.WrapMode, 0);
  EXPECT_EQ(w.HorWrap, 10);
  w.WrapMode = 2;
  testing::internal::CaptureStdout();
  check_wrap_mode(w);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(w.WrapMode, 2);
  // A period no canvas can hold is a command-line fault, found before anything is loaded.
  w.HorWrap = 2000000000;
  try {
    check_wrap_mode(w);
    ADD_FAILURE() << "-HorWrap 2000000000 must be refused";
  } catch (const command_line_error& e) {
    EXPECT_STREQ(e.what(), "-HorWrap 2000000000 is wider than any canvas can hold (at most 477218584 columns)");
  }
}

TEST(CommandLine, UsageText) {
  testing::internal::CaptureStdout();
  print_usage();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "quiltmerge 1.2.4b\nusage: \n-o: output file name (list of input files)\n"
            "-xoff: offset of input picture by x\n-yoff: offset of input picture by y\nexample:\n"
            "quiltmerge -o out.jpg in_file1.jpg -xoff 100 in_file2.jpg\n");
}

TEST(CommandLine, ThreadCountFromOptionThenEnvironment) {
  EXPECT_EQ(resolve_thread_count(parse({"a", "b"}).run, nullptr), 0);  // every core
  EXPECT_EQ(resolve_thread_count(parse({"a", "b"}).run, "3"), 3);
  EXPECT_EQ(resolve_thread_count(parse({"a", "b"}).run, ""), 0);
  EXPECT_EQ(resolve_thread_count(parse({"-threads", "1", "a", "b"}).run, "3"), 1);  // the option wins
  EXPECT_EQ(resolve_thread_count(parse({"-threads", "0", "a", "b"}).run, "3"), 0);
  EXPECT_EQ(parse({"-threads", "100000", "a", "b"}).run.threads, 256);
  // Past the int32 range too, as the help promises; leading zeros do not make a number large.
  EXPECT_EQ(parse({"-threads", "99999999999", "a", "b"}).run.threads, 256);
  EXPECT_EQ(parse({"-threads", "+123456789012345678901234567890", "a", "b"}).run.threads, 256);
  EXPECT_EQ(parse({"-threads", "00000000000003", "a", "b"}).run.threads, 3);
  EXPECT_EQ(resolve_thread_count(run_options{}, "99999999999"), 256);
  EXPECT_EQ(error_of({"-threads", "-99999999999", "a", "b"}), "Invalid value for -threads: \"-99999999999\"");
  EXPECT_EQ(error_of({"-threads", "-2", "a", "b"}), "Invalid value for -threads: \"-2\"");
  try {
    resolve_thread_count(run_options{}, "two");
    ADD_FAILURE() << "a bad QUILTMERGE_THREADS must be refused";
  } catch (const command_line_error& e) {
    EXPECT_STREQ(e.what(), "Invalid value for QUILTMERGE_THREADS: \"two\"");
  }
}

TEST(CommandLine, OutputOptionsTheOutputCannotHoldAreRefused) {
  EXPECT_EQ(error_of({"--compression", "jpeg", "a", "b"}), "Invalid value for --compression: \"jpeg\"");
  EXPECT_EQ(parse({"--compression", "zstd", "a", "b"}).run.compression, tiff_compression::zstd);
  auto refusal = [](std::vector<const char*> words, size_t inputs = 2) {
    parsed p = parse(words);
    try {
      check_output_options(p.run, p.output, inputs);
    } catch (const command_line_error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(refusal({"--compression", "lzw", "a", "b"}), "");
  EXPECT_EQ(refusal({"-o", "x.png", "--compression", "packbits", "a", "b"}), "");
  EXPECT_NE(refusal({"-o", "x.png", "--compression", "lzw", "a", "b"}), "");
  EXPECT_NE(refusal({"-o", "x.jpg", "--bigtiff", "a", "b"}), "");
  EXPECT_EQ(refusal({"--save-seams", "s.PNG", "a", "b"}), "");
  EXPECT_EQ(refusal({"--save-seams", "s.tiff", "a", "b"}), "");
  EXPECT_NE(refusal({"--save-seams", "s.jpg", "a", "b"}), "");
  EXPECT_NE(refusal({"--save-seams", "blended.tif", "a", "b"}), "");
  EXPECT_EQ(refusal({"--save-seams", "s.png", "a", "b"}, 255), "");
  EXPECT_NE(refusal({"--save-seams", "s.png", "a", "b"}, 256), "");
}

// The command as a user runs it on two terminals' logs: two summary blocks, a CSV, and a
// PNG read back to check its size and that both terminals' curves are in it. Also its
// exit statuses and its word when gnuplot is missing.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/report/plot.h"
#include "tools/report/simulated_log.h"

namespace {

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/battest-report-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the command in the test's directory: "ENV... battest-report ARGS", its store of
  // learnt curves in the directory's data/battest/curves.
  int Run(const std::string& args, const std::string& env = "") {
    std::string command = "cd " + dir_ + " && XDG_DATA_HOME=" + dir_ + "/data " + env + " " +
                          BATTEST_REPORT + " " + args + " >out.txt 2>err.txt";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  // Two terminals: A in µV to 20 %, an hour on external power on the way, B in mV to 10 %.
  size_t WriteTwoLogs() {
    report::Seconds start = report::ToSeconds({2026, 3, 2, 8, 0, 0});
    report::LogSimulator a(start, 4200000, 3400000), b(start + 86400, 4100, 3300);
    a.Discharge(3, [](double h) { return 4200000 - 80000 * h; });
    a.ExternalPower(1);  // held an hour: shaded in the picture
    a.Discharge(5, [](double h) { return 4200000 - 80000 * (h + 3); });
    b.Discharge(6, [](double h) { return 4100 - 120 * h; });
    Write("r_A_202603021600.txt", a.Text());
    Write("r_B_202603031400.txt", b.Text());
    return a.Readings().size() + b.Readings().size();
  }

  std::string dir_;
};

size_t CountLinesStarting(const std::string& text, const std::string& start) {
  size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(start, 0) == 0;
  return count;
}

// Pixels within a small distance of the colour 0xRRGGBB.
size_t CountColour(const std::vector<png_byte>& rgb, unsigned colour, int distance = 30) {
  size_t count = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    int dr = rgb[i] - static_cast<int>(colour >> 16 & 0xFF);
    int dg = rgb[i + 1] - static_cast<int>(colour >> 8 & 0xFF);
    int db = rgb[i + 2] - static_cast<int>(colour & 0xFF);
    count += dr * dr + dg * dg + db * db < distance * distance;
  }
  return count;
}

// The colour 0xRRGGBB laid over white with the given opacity.
unsigned Blend(unsigned colour, double alpha) {
  unsigned result = 0;
  for (int shift : {16, 8, 0}) {
    double c = alpha * (colour >> shift & 0xFF) + (1 - alpha) * 255;
    result |= static_cast<unsigned>(c + 0.5) << shift;
  }
  return result;
}

TEST_F(ReportCommand, TwoTerminalsGiveTwoBlocksACsvAndTwoCurves) {
  if (std::system("command -v gnuplot >/dev/null") != 0) {
    GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  }
  size_t lines = WriteTwoLogs();
  ASSERT_EQ(Run("r_A_202603021600.txt r_B_202603031400.txt --csv out.csv --png out.png"), 0)
      << Read("err.txt");
  EXPECT_EQ(Read("err.txt"), "");
  std::string out = Read("out.txt");
  EXPECT_EQ(CountLinesStarting(out, "Terminal A (r_A_202603021600.txt)"), 1u) << out;
  EXPECT_EQ(CountLinesStarting(out, "Terminal B (r_B_202603031400.txt)"), 1u) << out;
  EXPECT_EQ(CountLinesStarting(out, "Terminal "), 2u) << out;

  std::string csv = Read("out.csv");
  EXPECT_EQ(CountLinesStarting(csv, ""), lines + 1);
  EXPECT_EQ(csv.rfind("time,model,voltage_max_V,voltage_min_V,voltage_now_V,linear_percent,"
                      "filtered_percent,file,line\r\n"
                      "2026-03-02T08:00:00,A,4.200000,3.400000,4.200000,100,100,"
                      "r_A_202603021600.txt,1\r\n", 0), 0u);
  EXPECT_NE(csv.find("\r\n2026-03-03T14:00:00,B,4.100,3.300,3.380,10,10,r_B_202603031400.txt,"),
            std::string::npos);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir_ + "/out.png").c_str())) << image.message;
  EXPECT_EQ(image.width, static_cast<unsigned>(report::PLOT_WIDTH));
  EXPECT_EQ(image.height, static_cast<unsigned>(report::PLOT_HEIGHT));
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  // Each curve pair is hundreds of pixels long and two wide, in its terminal's colour.
  EXPECT_GT(CountColour(rgb, report::CurveColour(0)), 1000u);
  EXPECT_GT(CountColour(rgb, report::CurveColour(1)), 1000u);
  EXPECT_EQ(CountColour(rgb, report::CurveColour(2)), 0u);
  // A's hour on external power is shaded, and A's time left is a band in A's colour.
  // (Close to the colour: a curve's smoothed edges come within the usual distance.)
  EXPECT_GT(CountColour(rgb, Blend(report::POWER_COLOUR, report::POWER_ALPHA), 6), 1000u);
  EXPECT_GT(CountColour(rgb, Blend(report::CurveColour(0), report::BAND_ALPHA), 6), 1000u);

  // A picture that cannot be written: the report's own one line, and no other.
  EXPECT_EQ(Run("r_A_202603021600.txt --png nodir/out.png"), 1);
  EXPECT_EQ(Read("err.txt"), "battest-report: nodir/out.png: cannot write: No such file or directory\n");
}

// A terminal's model arrives as it was set, in the upload's name: a name that breaks lines
// must run nothing in gnuplot, and reads on one line in the summary.
TEST_F(ReportCommand, ALogsNameIsNeverRunAsACommand) {
  if (std::system("command -v gnuplot >/dev/null") != 0) {
    GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  }
  report::LogSimulator log(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200000, 3400000);
  log.Discharge(2, [](double h) { return 4200000 - 80000 * h; });
  Write("r_TM'\nsystem(\"touch PWNED\")\n#_202603021830.txt", log.Text());
  ASSERT_EQ(Run("r_TM* --png out.png"), 0) << Read("err.txt");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/PWNED"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/out.png"));
  EXPECT_EQ(CountLinesStarting(Read("out.txt"),
                               "Terminal TM'\\x0Asystem(\"touch PWNED\")\\x0A# (r_TM'\\x0A"),
            1u)
      << Read("out.txt");
}

// The log may be the only copy left: an output onto it, or onto the other output, is
// refused before anything is written.
TEST_F(ReportCommand, RefusesAnOutputThatIsALogOrTheOtherOutput) {
  WriteTwoLogs();
  std::string log = Read("r_A_202603021600.txt");
  EXPECT_EQ(Run("r_A_202603021600.txt --csv r_A_202603021600.txt"), 2);
  EXPECT_EQ(Run("r_B_202603031400.txt r_A_202603021600.txt --png=./r_A_202603021600.txt"), 2);
  EXPECT_NE(Read("err.txt").find("is the log r_A_202603021600.txt, which it would destroy"),
            std::string::npos) << Read("err.txt");
  EXPECT_EQ(Read("r_A_202603021600.txt"), log);
  EXPECT_EQ(Run("r_A_202603021600.txt --csv new.csv --png ./new.csv"), 2);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/new.csv"));
}

// Only a regular file is read: a FIFO would wait for a writer for ever, a device could
// give bytes without end.
TEST_F(ReportCommand, RefusesALogThatIsNotARegularFile) {
  WriteTwoLogs();
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(Run("fifo /dev/zero r_A_202603021600.txt", "timeout 60"), 1);
  EXPECT_EQ(Read("err.txt"), "fifo: not a regular file, not read\n"
                             "/dev/zero: not a regular file, not read\n");
  EXPECT_EQ(CountLinesStarting(Read("out.txt"), "Terminal A"), 1u);
}

TEST_F(ReportCommand, NamesEachMissingFileNameAndProtectsCsvCells) {
  EXPECT_EQ(Run("log.txt --png="), 2);
  EXPECT_EQ(Read("err.txt").rfind("battest-report: --png needs a file name\n", 0), 0u);
  EXPECT_EQ(Run("log.txt --png --csv out.csv"), 2);
  EXPECT_EQ(Read("err.txt").rfind("battest-report: --png needs a file name, not --csv", 0), 0u);

  report::LogSimulator log(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200000, 3400000);
  log.Discharge(1, [](double h) { return 4200000 - 80000 * h; });
  Write("r_=1+2_202603021830.txt", log.Text());
  Write("@x.txt", log.Text());
  Write("\"q.txt", log.Text());  // a quote opens a quoted cell unless the cell is quoted
  ASSERT_EQ(Run("r_=1+2_202603021830.txt @x.txt '\"q.txt' --csv out.csv"), 0) << Read("err.txt");
  std::string csv = Read("out.csv");
  EXPECT_NE(csv.find(",\"'=1+2\",4.200000,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",\"'@x.txt\",1\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",\"\"\"q.txt\",1\r\n"), std::string::npos) << csv;
  // A CSV that could not be written whole is a failure, though its bytes were buffered.
  EXPECT_EQ(Run("@x.txt --csv /dev/full"), 1);
  EXPECT_NE(Read("err.txt").find("battest-report: /dev/full: cannot write: "), std::string::npos)
      << Read("err.txt");
}

// On Monday a terminal of model TM ran from full to empty; on Tuesday its upload holds
// only the first hours of a discharge. The report of Monday keeps the curve, that of
// Tuesday alone takes it and says whence; --no-curves neither reads nor keeps one,
// --list-curves shows what is kept, and --curves keeps it elsewhere. A model that would
// be a path is kept under a plain name; a store that is a link is said, and the report
// goes on.
TEST_F(ReportCommand, ACurveLearntIsKeptForALaterLogOfItsModel) {
  auto volts = [](double h) { return 3400 + 800 * report::LithiumShape(h / 9.8); };
  report::LogSimulator monday(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200, 3400),
      tuesday(report::ToSeconds({2026, 3, 3, 8, 0, 0}), 4200, 3400);
  monday.Discharge(10, volts);
  tuesday.Discharge(4, volts);
  Write("r_TM_202603021800.txt", monday.Text());
  Write("r_TM_202603031200.txt", tuesday.Text());
  const std::string store = dir_ + "/data/battest/curves";

  ASSERT_EQ(Run("r_TM_202603031200.txt --no-curves"), 0) << Read("err.txt");
  EXPECT_NE(Read("out.txt").find("\n  curve              none learnt (the store not read) for this "
                                 "model: typical curves\n"),
            std::string::npos)
      << Read("out.txt");
  ASSERT_EQ(Run("r_TM_202603021800.txt --no-curves"), 0) << Read("err.txt");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/data"));

  ASSERT_EQ(Run("r_TM_202603021800.txt"), 0) << Read("err.txt");
  EXPECT_EQ(Read("err.txt"), "");
  EXPECT_NE(Read("out.txt").find("\n\nStored in " + store +
                                 "/TM.curves: 1 curve of model TM, the latest "
                                 "r_TM_202603021800.txt:1 to "),
            std::string::npos)
      << Read("out.txt");
  ASSERT_EQ(Run("r_TM_202603031200.txt"), 0) << Read("err.txt");
  const std::string out = Read("out.txt");
  EXPECT_NE(
      out.find("\n  curve              stored, learnt from r_TM_202603021800.txt, a discharge of "
               "02.03.2026 08:00:00 to 17:"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("(assumed: the learnt curve (a discharge of 9."), std::string::npos) << out;
  EXPECT_EQ(out.find("Stored in"), std::string::npos) << out;  // nothing new to keep

  ASSERT_EQ(Run("--list-curves"), 0) << Read("err.txt");
  EXPECT_EQ(
      Read("out.txt").rfind("Learnt curves in " + store +
                                " (newest first; a report takes the "
                                "newest of its model):\n  TM               r_TM_202603021800.txt, "
                                "a discharge of 02.03.2026 08:00:00 to 17:",
                            0),
      0u)
      << Read("out.txt");
  EXPECT_EQ(Run("--list-curves r_TM_202603031200.txt"), 2);
  EXPECT_EQ(Run("--list-curves --no-curves"), 2);

  ASSERT_EQ(Run("r_TM_202603021800.txt --curves=shared"), 0) << Read("err.txt");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_ + "/shared/TM.curves"));

  Write("r_.._202603021800.txt", monday.Text());
  ASSERT_EQ(Run("'r_.._202603021800.txt' --curves shared"), 0) << Read("err.txt");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_ + "/shared/%2E..curves"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/shared"), {}), 2);

  const std::string kept = Read("data/battest/curves/TM.curves");
  std::filesystem::rename(store, dir_ + "/elsewhere");
  std::filesystem::create_directory_symlink(dir_ + "/elsewhere", store);
  ASSERT_EQ(Run("r_TM_202603031200.txt r_TM_202603021800.txt"), 0);
  EXPECT_EQ(Read("err.txt"), "battest-report: " + store +
                                 ": a link, not followed: learnt curves "
                                 "neither read nor stored\n");
  EXPECT_EQ(Read("elsewhere/TM.curves"), kept);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/elsewhere"), {}), 1);
  EXPECT_NE(Read("out.txt").find("\n  curve              learnt from r_TM_202603021800.txt:1 to "),
            std::string::npos)
      << Read("out.txt");

  // A damaged file: said once, left as it is.
  std::filesystem::remove(store);
  std::filesystem::create_directory(store);
  Write("data/battest/curves/TM.curves", kept.substr(0, kept.size() / 2));
  ASSERT_EQ(Run("r_TM_202603031200.txt r_TM_202603021800.txt"), 0);
  EXPECT_EQ(Read("err.txt"), "battest-report: " + store +
                                 "/TM.curves: cut short: it does not end "
                                 "with 'end' and its count of curves: not used, left as it is; the "
                                 "curves of model TM not stored\n");
  EXPECT_EQ(Read("data/battest/curves/TM.curves"), kept.substr(0, kept.size() / 2));
}

TEST_F(ReportCommand, ExitStatusAndErrors) {
  EXPECT_EQ(Run(""), 2);
  EXPECT_EQ(Read("err.txt"), "battest-report: no log file given\n(see battest-report --help)\n");
  EXPECT_EQ(Run("--colour x.txt"), 2);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_LE(CountLinesStarting(Read("out.txt"), ""), 24u);  // fits a screen

  WriteTwoLogs();
  Write("bad.txt", "no log here\r\n");
  EXPECT_EQ(Run("bad.txt r_A_202603021600.txt"), 1);
  EXPECT_EQ(Read("err.txt"), "bad.txt:1: missing field: 3 of 7 (date time max min now linear% "
                             "filtered%)\nbad.txt: no valid line\n");
  EXPECT_EQ(CountLinesStarting(Read("out.txt"), "Terminal A"), 1u);  // the rest still reported

  EXPECT_EQ(Run("r_A_202603021600.txt --png out.png", "PATH=/nonexistent"), 1);
  EXPECT_NE(Read("err.txt").find("--png needs gnuplot, which is not on PATH"), std::string::npos);

  // A picture small enough to sit in stdio's buffer fails only when its copy is closed:
  // a stand-in gnuplot draws one byte, and the copy goes to a full device.
  ASSERT_EQ(mkdir((dir_ + "/bin").c_str(), 0700), 0);
  Write("bin/gnuplot", "#!/bin/sh\nprintf x > plot.png\n");
  ASSERT_EQ(chmod((dir_ + "/bin/gnuplot").c_str(), 0700), 0);
  EXPECT_EQ(Run("r_A_202603021600.txt --png /dev/full", "PATH=" + dir_ + "/bin"), 1);
  const std::string said = Read("err.txt");
  EXPECT_EQ(said.rfind("battest-report: /dev/full: cannot write: ", 0), 0u) << said;
  EXPECT_EQ(CountLinesStarting(said, ""), 1u) << said;
}

}  // namespace

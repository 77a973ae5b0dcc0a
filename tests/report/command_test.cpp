// The command as a user runs it on two terminals' logs: two summary blocks, a CSV, and a
// PNG read back to check its size and that both terminals' curves are in it; a fleet's PNG;
// the page, read back and opened in a real browser (headless Chromium). Also its exit
// statuses and its word when gnuplot is missing.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
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

  // Two logs whose names would be markup and script in a page: an upload whose model is
  // one, and a file named as one.
  void WriteHostileLogs() {
    report::LogSimulator log(report::ToSeconds({2026, 3, 4, 8, 0, 0}), 4200000, 3400000);
    log.Discharge(3, [](double h) { return 4150000 - 90000 * h; });
    Write("r_<script>alert(\"1&2\")'\x07_202603041100.txt", log.Text());
    Write("<img src=x onerror=alert(2)>&\"'\x01.txt", log.Text());
  }
  static constexpr const char* HOSTILE = "'r_<'* '<img'*";

  std::string dir_;
};

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) count++;
  return count;
}

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0;
}

size_t CountLinesStarting(const std::string& text, const std::string& start) {
  size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) count += line.rfind(start, 0) == 0;
  return count;
}

// Whether the pixel `rgb` is within a small distance of the colour 0xRRGGBB.
bool Near(const png_byte* rgb, unsigned colour, int distance) {
  int dr = rgb[0] - static_cast<int>(colour >> 16 & 0xFF);
  int dg = rgb[1] - static_cast<int>(colour >> 8 & 0xFF);
  int db = rgb[2] - static_cast<int>(colour & 0xFF);
  return dr * dr + dg * dg + db * db < distance * distance;
}

// Pixels within a small distance of the colour 0xRRGGBB.
size_t CountColour(const std::vector<png_byte>& rgb, unsigned colour, int distance = 30) {
  size_t count = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) count += Near(&rgb[i], colour, distance);
  return count;
}

// Reads a PNG as RGB rows; false (with a failed assertion) when it cannot.
bool ReadPng(const std::string& path, png_image* image, std::vector<png_byte>* rgb) {
  *image = png_image{};
  image->version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(image, path.c_str())) {
    ADD_FAILURE() << path << ": " << image->message;
    return false;
  }
  image->format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(*image));
  if (!png_image_finish_read(image, nullptr, rgb->data(), 0, nullptr)) {
    ADD_FAILURE() << path << ": " << image->message;
    return false;
  }
  return true;
}

// The first and last column from `left` to before `right`, between rows `top` and
// `bottom`, with a pixel near `colour`; {-1, -1} without one.
std::pair<int, int> ColumnsWith(const std::vector<png_byte>& rgb, unsigned width, unsigned left,
                                unsigned right, unsigned top, unsigned bottom, unsigned colour,
                                int distance) {
  std::pair<int, int> columns{-1, -1};
  for (unsigned y = top; y < bottom; y++) {
    for (unsigned x = left; x < right; x++) {
      if (!Near(&rgb[3 * (static_cast<size_t>(y) * width + x)], colour, distance)) continue;
      if (columns.first < 0 || static_cast<int>(x) < columns.first) columns.first = static_cast<int>(x);
      columns.second = std::max(columns.second, static_cast<int>(x));
    }
  }
  return columns;
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

  png_image image;
  std::vector<png_byte> rgb;
  ASSERT_TRUE(ReadPng(dir_ + "/out.png", &image, &rgb));
  EXPECT_EQ(image.width, static_cast<unsigned>(report::PLOT_WIDTH));
  EXPECT_EQ(image.height, static_cast<unsigned>(report::PLOT_HEIGHT));
  // Each curve pair is hundreds of pixels long and two wide, in its terminal's colour.
  EXPECT_GT(CountColour(rgb, report::CurveColour(0)), 1000u);
  EXPECT_GT(CountColour(rgb, report::CurveColour(1)), 1000u);
  EXPECT_EQ(CountColour(rgb, report::CurveColour(2)), 0u);
  // A's hour on external power is shaded, and A's time left is a band in A's colour.
  // (Close to the colour: a curve's smoothed edges come within the usual distance.)
  EXPECT_GT(CountColour(rgb, Blend(report::POWER_COLOUR, report::POWER_ALPHA), 6), 1000u);
  EXPECT_GT(CountColour(rgb, Blend(report::CurveColour(0), report::BAND_ALPHA), 6), 1000u);
  // Both panels on one time axis: the hour on external power is shaded in each, from the
  // same column to the same column (left of the key, which shows the shade too).
  const unsigned shade = Blend(report::POWER_COLOUR, report::POWER_ALPHA), half = image.height / 2;
  const unsigned panels = image.width * 7 / 10;
  const std::pair<int, int> top = ColumnsWith(rgb, image.width, 0, panels, 0, half - 10, shade, 6);
  const std::pair<int, int> bottom =
      ColumnsWith(rgb, image.width, 0, panels, half + 10, image.height, shade, 6);
  EXPECT_GT(top.second - top.first, 20);
  EXPECT_NEAR(top.first, bottom.first, 1);
  EXPECT_NEAR(top.second, bottom.second, 1);

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

// Nine terminals are a fleet: bands, and only the five lowest drawn, each in its colour
// and named beside the panels.
TEST_F(ReportCommand, AFleetsPictureIsBandsWithTheLowestNamed) {
  if (!Have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  std::string names;
  for (int i = 1; i <= 9; i++) {
    report::LogSimulator log(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200000, 3400000);
    log.Discharge(6, [i](double h) { return 4150000 - 12000 * i * h; });  // 9 falls fastest
    Write("t" + std::to_string(i) + ".txt", log.Text());
    names += " t" + std::to_string(i) + ".txt";
  }
  ASSERT_EQ(Run(names + " --png fleet.png"), 0) << Read("err.txt");
  png_image image;
  std::vector<png_byte> rgb;
  ASSERT_TRUE(ReadPng(dir_ + "/fleet.png", &image, &rgb));
  EXPECT_GT(CountColour(rgb, report::FLEET_COLOUR, 12), 500u);  // the median
  EXPECT_GT(CountColour(rgb, Blend(report::FLEET_COLOUR, report::FLEET_RANGE_ALPHA), 6), 1000u);
  const unsigned right = image.width * 8 / 10;  // the names' column, right of the panels
  for (size_t k = 0; k < report::FLEET_NAMED; k++) {
    EXPECT_GT(CountColour(rgb, report::CurveColour(k)), 300u) << k;
    EXPECT_GE(ColumnsWith(rgb, image.width, right, image.width, image.height / 2, image.height,
                          report::CurveColour(k), 30).first, 0) << k;
  }
  for (size_t k = report::FLEET_NAMED; k < 8; k++) {
    EXPECT_LT(CountColour(rgb, report::CurveColour(k)), 50u) << k;
  }
}

// Two uploads of one terminal two weeks apart: the gap between them is drawn narrow, so
// that both runs take most of the width rather than two slivers at its ends.
TEST_F(ReportCommand, ALongGapBetweenUploadsIsDrawnNarrow) {
  if (!Have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  report::LogSimulator first(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200000, 3400000);
  report::LogSimulator second(report::ToSeconds({2026, 3, 16, 8, 0, 0}), 4200000, 3400000);
  for (report::LogSimulator* log : {&first, &second}) {
    log->Discharge(3, [](double h) { return 4150000 - 90000 * h; });
  }
  Write("r_G_202603021100.txt", first.Text());
  Write("r_G_202603161100.txt", second.Text());
  ASSERT_EQ(Run("r_G_* --png gap.png"), 0) << Read("err.txt");
  png_image image;
  std::vector<png_byte> rgb;
  ASSERT_TRUE(ReadPng(dir_ + "/gap.png", &image, &rgb));
  size_t columns = 0;  // with the curve in the voltage panel
  for (unsigned x = 0; x < image.width * 7 / 10; x++) {
    bool curve = false;
    for (unsigned y = 0; y < image.height / 2 && !curve; y++) {
      curve = Near(&rgb[3 * (static_cast<size_t>(y) * image.width + x)], report::CurveColour(0), 30);
    }
    columns += curve;
  }
  EXPECT_GT(columns, image.width / 6);  // 2 x 3 h of 349 h would be about 13
}

// A page over logs whose names are markup: every name is text, the page's own script is its
// only one, and its policy allows nothing else.
TEST_F(ReportCommand, APageShowsHostileNamesAsText) {
  if (!Have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  WriteHostileLogs();
  ASSERT_EQ(Run(std::string(HOSTILE) + " --html page.html"), 0) << Read("err.txt");
  const std::string page = Read("page.html");
  EXPECT_EQ(Count(page, "<script"), 1u);
  EXPECT_EQ(Count(page, "<img "), 2u);  // the two plots
  EXPECT_EQ(Count(page, "<h2>&lt;script&gt;alert(&quot;1&amp;2&quot;)&#39;\\x07</h2>"), 1u);
  EXPECT_EQ(Count(page, "<h2>&lt;img src=x onerror=alert(2)&gt;&amp;&quot;&#39;\\x01.txt</h2>"), 1u);
  EXPECT_TRUE(std::none_of(page.begin(), page.end(), [](char c) {
    return c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
  }));
  EXPECT_EQ(Count(page, "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                        "img-src data:; style-src 'sha256-"), 1u);
}

// The page in a real browser: the table and each terminal's summary are in its document
// after its script ran, the plots are drawn, and the console says nothing (a style or
// script the policy refused, a script error).
TEST_F(ReportCommand, APageOpensInABrowser) {
  if (!Have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed (Debian package gnuplot-nox)";
  if (!Have("chromium")) {
    if (std::getenv("CI") != nullptr) FAIL() << "chromium is not installed (Debian package chromium)";
    GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
  }
  WriteTwoLogs();
  WriteHostileLogs();
  ASSERT_EQ(Run(std::string("r_A_* r_B_* ") + HOSTILE + " --html page.html"), 0) << Read("err.txt");
  const std::string chromium =
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
      "--user-data-dir=" + dir_ + "/profile --enable-logging=stderr --v=0 "
      "--virtual-time-budget=10000 --window-size=1280,1400 ";
  const std::string url = " file://" + dir_ + "/page.html";
  ASSERT_EQ(std::system(("cd " + dir_ + " && " + chromium + "--dump-dom" + url +
                         " >dom.html 2>dom.err").c_str()), 0) << Read("dom.err");
  ASSERT_EQ(std::system(("cd " + dir_ + " && " + chromium + "--screenshot=" + dir_ + "/shot.png" +
                         url + " >shot.out 2>shot.err").c_str()), 0) << Read("shot.err");
  for (const char* log : {"dom.err", "shot.err"}) {
    EXPECT_EQ(Read(log).find(":CONSOLE"), std::string::npos) << Read(log);
  }
  const std::string dom = Read("dom.html");
  EXPECT_EQ(Count(dom, "<td class=\"name\""), 4u) << dom;
  EXPECT_EQ(Count(dom, "<section class=\"card terminal\""), 4u);
  EXPECT_EQ(Count(dom, "<th>discharge rate</th>"), 4u);
  EXPECT_EQ(Count(dom, "<th>external power</th>"), 1u);  // A's hour
  EXPECT_EQ(Count(dom, "<button type=\"button\">Warnings</button>"), 1u);  // the script ran
  EXPECT_EQ(Count(dom, "<script"), 1u);
  EXPECT_EQ(Count(dom, "<img "), 4u);
  EXPECT_EQ(Count(dom, "&lt;script&gt;alert(\"1&amp;2\")'\\x07"), 4u);  // row, heading, and name and file in the first line

  png_image image;
  std::vector<png_byte> rgb;
  ASSERT_TRUE(ReadPng(dir_ + "/shot.png", &image, &rgb));
  EXPECT_EQ(image.width, 1280u);
  EXPECT_GT(CountColour(rgb, report::VOLTAGE_COLOUR, 10), 400u);  // the first plot, drawn
  EXPECT_GT(CountColour(rgb, report::PERCENT_COLOUR, 10), 400u);
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
  EXPECT_EQ(Run("r_A_202603021600.txt --html=r_A_202603021600.txt"), 2);
  EXPECT_EQ(Read("r_A_202603021600.txt"), log);
  EXPECT_EQ(Run("r_A_202603021600.txt --csv new.csv --png ./new.csv"), 2);
  EXPECT_EQ(Run("r_A_202603021600.txt --png new.csv --html new.csv"), 2);
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

  // The pictures draw the estimate of the summary beside them: with typical curves here,
  // with the stored one below, so they differ as the summaries do.
  const bool pictures = Have("gnuplot");
  const std::string typical = pictures ? " --png typical.png --html typical.html" : "";
  ASSERT_EQ(Run("r_TM_202603031200.txt --no-curves" + typical), 0) << Read("err.txt");
  const std::string typicalOut = Read("out.txt");
  EXPECT_NE(typicalOut.find("\n  curve              none learnt (the store not read) for this "
                            "model: typical curves\n"),
            std::string::npos)
      << typicalOut;
  ASSERT_EQ(Run("r_TM_202603021800.txt --no-curves"), 0) << Read("err.txt");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/data"));

  ASSERT_EQ(Run("r_TM_202603021800.txt"), 0) << Read("err.txt");
  EXPECT_EQ(Read("err.txt"), "");
  EXPECT_NE(Read("out.txt").find("\n\nStored in " + store +
                                 "/TM.curves: 1 curve of model TM, the latest "
                                 "r_TM_202603021800.txt:1 to "),
            std::string::npos)
      << Read("out.txt");
  ASSERT_EQ(Run("r_TM_202603031200.txt" +
                std::string(pictures ? " --png stored.png --html stored.html" : "")),
            0)
      << Read("err.txt");
  const std::string out = Read("out.txt");
  EXPECT_NE(
      out.find("\n  curve              stored, learnt from r_TM_202603021800.txt, a discharge of "
               "02.03.2026 08:00:00 to 17:"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("(assumed: the learnt curve (a discharge of 9."), std::string::npos) << out;
  EXPECT_EQ(out.find("Stored in"), std::string::npos) << out;  // nothing new to keep
  auto timeLeft = [](const std::string& summary) {
    const size_t at = summary.find("time left to 0 %");
    return at == std::string::npos ? "" : summary.substr(at, summary.find('\n', at) - at);
  };
  EXPECT_NE(timeLeft(out), timeLeft(typicalOut));
  if (pictures) {
    auto plot = [](const std::string& page) {  // the figure with the plot's SVG
      const size_t at = page.find("<figure ");
      return at == std::string::npos ? "" : page.substr(at, page.find("</figure>", at) - at);
    };
    const std::string storedPlot = plot(Read("stored.html")), storedPng = Read("stored.png");
    EXPECT_FALSE(storedPlot.empty() || storedPng.empty());
    EXPECT_TRUE(storedPlot != plot(Read("typical.html"))) << "the page's plot ignores the stored curve";
    EXPECT_TRUE(storedPng != Read("typical.png")) << "the PNG ignores the stored curve";
  }

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
  // The page is written all the same, saying why it has no plot.
  EXPECT_EQ(Run("r_A_202603021600.txt --html page.html", "PATH=/nonexistent"), 1);
  EXPECT_EQ(Read("err.txt"), "battest-report: page.html: written without plots: --html needs gnuplot, "
                             "which is not on PATH (Debian package gnuplot-nox)\n");
  EXPECT_EQ(Count(Read("page.html"), "<th>discharge rate</th>"), 1u);
  EXPECT_EQ(Count(Read("page.html"), "no plot: --html needs gnuplot"), 1u);

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

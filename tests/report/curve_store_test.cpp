// The store of learnt curves: its files read back as written, only the newest kept, and
// every hostile file or name met with a line of its own, never followed, never replaced.
#include "tools/report/curve_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using report::LearntDischarge;

const report::Seconds START = report::ToSeconds({2026, 3, 2, 8, 0, 0});
const int64_t NOW = report::ToSeconds({2026, 3, 10, 9, 0, 0});

// A discharge of `model` from `first`, `hours` long, with a curve of its own.
LearntDischarge Discharge(const std::string& model, report::Seconds first, double hours) {
  LearntDischarge d;
  d.model = model;
  d.source = "logs/r_" + model + "_202603021830.txt";
  d.lines = "1 to 80";
  d.first = first;
  d.last = first + static_cast<report::Seconds>(hours * 3600);
  d.curve.known = true;
  d.curve.hours = hours;
  for (int k = 0; k < report::LEARNT_POINTS; k++) d.curve.volts[k] = 3.3 + 0.009 * k + hours * 1e-4;
  return d;
}

class CurveStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/battest-curves-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    store_ = dir_ + "/store";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Stores `learnt`; the lines said, stored and problems.
  std::vector<std::string> Store(const std::vector<LearntDischarge>& learnt, int64_t now = NOW) {
    std::vector<std::string> stored, problems;
    report::StoreCurves(store_, learnt, now, &stored, &problems);
    stored.insert(stored.end(), problems.begin(), problems.end());
    return stored;
  }
  std::vector<LearntDischarge> Load(const std::string& model, std::vector<std::string>* problems) {
    return report::ReadCurves(store_, {model}, problems);
  }

  std::string dir_, store_;
};

TEST_F(CurveStore, AFileReadsBackAsWrittenAndNothingElseReads) {
  std::vector<LearntDischarge> curves{Discharge("TM-7", START, 9.5),
                                      Discharge("TM-7", START + 86400, 9.25)};
  curves[1].source = "r_TM\\7\x01.txt";  // kept exactly: a backslash, a control character
  curves[0].stored = NOW - 86400;
  curves[1].stored = NOW;
  const std::string text = report::FormatCurveFile("TM-7", curves);
  std::string model, error;
  std::vector<LearntDischarge> back;
  ASSERT_TRUE(report::ParseCurveFile(text, &model, &back, &error)) << error << "\n" << text;
  EXPECT_EQ(model, "TM-7");
  ASSERT_EQ(back.size(), 2u);
  for (size_t i = 0; i < 2; i++) {
    EXPECT_EQ(back[i].source, curves[i].source);
    EXPECT_EQ(back[i].first, curves[i].first);
    EXPECT_EQ(back[i].last, curves[i].last);
    EXPECT_EQ(back[i].stored, curves[i].stored);
    EXPECT_NEAR(back[i].curve.hours, curves[i].curve.hours, 1e-6);
    for (int k = 0; k < report::LEARNT_POINTS; k++) {
      EXPECT_NEAR(back[i].curve.volts[k], curves[i].curve.volts[k], 1e-6);
    }
  }
  // Cut short anywhere, it is known to be so.
  for (size_t size = 0; size < text.size(); size++) {
    EXPECT_FALSE(report::ParseCurveFile(text.substr(0, size), &model, &back, &error)) << size;
  }
  auto refused = [&](const std::string& damaged) {
    bool parsed = report::ParseCurveFile(damaged, &model, &back, &error);
    return parsed ? std::string("parsed") : error;
  };
  EXPECT_EQ(refused("#!/bin/sh\nrm -rf ~\n"),
            "not a store of learnt curves (its first line is not 'battest learnt curves 1')");
  EXPECT_EQ(refused("battest learnt curves 2\nmodel TM-7\nend 0\n"),
            "a store file of another version than this report's (battest learnt curves 1)");
  EXPECT_EQ(refused(text + "x"), "line 19: expected 'end 2', the last line");
  std::string swapped = text;  // two voltages that fall back
  swapped.replace(swapped.find(" 3.309"), 9, " 3.290000");
  EXPECT_EQ(refused(swapped), "line 9: expected 101 voltages rising with the charge");
  std::string infinite = text;
  infinite.replace(infinite.find("hours 9.5"), 9, "hours inf");
  EXPECT_EQ(refused(infinite), "line 8: expected 'hours' and a discharge's length");
  std::string count = text;
  count.replace(count.rfind("end 2"), 5, "end 3");
  EXPECT_EQ(refused(count), "line 19: expected 'end 2', the last line");
}

// Models as terminals may set them: each its own file name, plain, within a name's limit,
// neither hidden nor a path.
TEST_F(CurveStore, EveryModelHasAFileNameOfItsOwnThatIsNoPath) {
  const std::vector<std::string> models = {"TM-7",
                                           "..",
                                           ".",
                                           "a/b",
                                           "../../etc/passwd",
                                           "x\ny",
                                           "\x1b[31mred",
                                           "%2F",
                                           "/",
                                           std::string(300, 'x'),
                                           std::string(299, 'x') + "y",
                                           std::string(150, '/')};
  std::set<std::string> names;
  for (const std::string& model : models) {
    const std::string name = report::CurveFileName(model);
    EXPECT_TRUE(names.insert(name).second) << name;
    EXPECT_LE(name.size(), 200u) << name;
    EXPECT_NE(name[0], '.') << name;
    EXPECT_EQ(name.find('/'), std::string::npos) << name;
    for (char c : name) EXPECT_TRUE(c > 0x20 && c < 0x7F) << name;
  }
  EXPECT_EQ(report::CurveFileName("TM-7"), "TM-7.curves");
  EXPECT_EQ(report::CurveFileName(".."), "%2E..curves");
  EXPECT_EQ(report::CurveFileName("a/b"), "a%2Fb.curves");
}

// A newer discharge of the model outweighs the older ones: the estimate takes the latest,
// and the store keeps the latest CURVES_KEPT. A discharge seen again is kept once, as the
// furthest it was seen.
TEST_F(CurveStore, KeepsTheLatestDischargesOnce) {
  std::vector<LearntDischarge> learnt;
  for (int day = 0; day < 12; day++) learnt.push_back(Discharge("M", START + day * 86400, 9));
  std::vector<std::string> said = Store({learnt.begin(), learnt.begin() + 3});
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "Stored in " + store_ +
                         "/M.curves: 3 curves of model M, the latest "
                         "logs/r_M_202603021830.txt:1 to 80, a discharge of 04.03.2026 08:00:00 to "
                         "17:00:00 (9.0 h); 3 kept");
  EXPECT_TRUE(Store({learnt.begin(), learnt.begin() + 3}, NOW + 60).empty());  // nothing new
  said = Store(learnt, NOW + 120);
  std::vector<std::string> problems;
  std::vector<LearntDischarge> kept = Load("M", &problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(kept.size(), report::CURVES_KEPT);
  EXPECT_EQ(kept.front().first, START + 4 * 86400);
  EXPECT_EQ(kept.back().first, START + 11 * 86400);
  EXPECT_EQ(kept.back().source, "r_M_202603021830.txt");  // its file name, not where it was
  EXPECT_EQ(kept.back().stored, NOW + 120);
  // The last one seen further on (it was uploaded at 3 % first, at 0 % later).
  LearntDischarge further = learnt.back();
  further.last += 600;
  Store({further}, NOW + 180);
  kept = Load("M", &problems);
  EXPECT_EQ(kept.size(), report::CURVES_KEPT);
  EXPECT_EQ(kept.back().last, further.last);
  // An older one than all kept does not come in.
  EXPECT_TRUE(Store({learnt.front()}, NOW + 240).empty());
  // Discharges of no model are not kept.
  EXPECT_TRUE(Store({Discharge("", START, 9)}).empty());
}

// Each hostile store gets a line of its own, and the report goes on: nothing followed,
// nothing replaced.
TEST_F(CurveStore, HostileFilesAreNamedAndLeftAsTheyAre) {
  ASSERT_TRUE(Store({Discharge("M", START, 9)}).size() == 1);
  const std::string good = Read(store_ + "/M.curves");
  struct Case {
    std::string model, content, said;
  };
  const std::vector<Case> cases = {
      {"TRUNC", good.substr(0, good.size() / 2),
       "cut short: it does not end with 'end' and its count of curves"},
      {"FOREIGN",
       "\x7f"
       "ELF\x02\x01\x01",
       "not a store of learnt curves (its first line is not 'battest learnt curves 1')"},
      {"OTHER", good, "holds the curves of model M, not OTHER"},
      {"HUGE", std::string(report::MAX_CURVE_FILE + 1, 'x'),
       "65537 bytes, more than a store file holds (65536)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    const std::string path = store_ + "/" + report::CurveFileName(c.model);
    Write(path, c.content);
    std::vector<std::string> problems;
    EXPECT_TRUE(Load(c.model, &problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], path + ": " + c.said + ": not used, left as it is");
    std::vector<std::string> said = Store({Discharge(c.model, START, 9)});
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], path + ": " + c.said + ": left as it is; the curves of model " + c.model +
                           " not stored");
    EXPECT_EQ(Read(path), c.content);
  }
  // A file that is a link to another is not followed, nor replaced.
  Write(dir_ + "/target", "precious\n");
  ASSERT_EQ(symlink((dir_ + "/target").c_str(), (store_ + "/LINK.curves").c_str()), 0);
  std::vector<std::string> problems;
  EXPECT_TRUE(Load("LINK", &problems).empty());
  EXPECT_EQ(problems, std::vector<std::string>{
                          store_ + "/LINK.curves: a link, not followed: not used, left as it is"});
  Store({Discharge("LINK", START, 9)});
  EXPECT_EQ(Read(dir_ + "/target"), "precious\n");
  EXPECT_TRUE(std::filesystem::is_symlink(store_ + "/LINK.curves"));
  // A FIFO is not waited on.
  ASSERT_EQ(mkfifo((store_ + "/FIFO.curves").c_str(), 0600), 0);
  problems.clear();
  EXPECT_TRUE(Load("FIFO", &problems).empty());
  EXPECT_EQ(problems, std::vector<std::string>{
                          store_ + "/FIFO.curves: not a regular file: not used, left as it is"});
  // Listed: the good file, and a line for each of the others.
  problems.clear();
  const std::string list = report::ListCurves(store_, &problems);
  EXPECT_NE(
      list.find("\n  M                r_M_202603021830.txt, a discharge of 02.03.2026 08:00:00 to "
                "17:00:00 (9.0 h), stored "),
      std::string::npos)
      << list;
  EXPECT_EQ(problems.size(), 6u);
  EXPECT_NE(problems[4].find("/OTHER.curves: holds the curves of model M, whose file is M.curves"),
            std::string::npos)
      << problems[4];
}

// A store directory that is a link, or not a directory, is neither read nor written.
TEST_F(CurveStore, AStoreThatIsALinkIsNeitherReadNorWritten) {
  ASSERT_EQ(mkdir((dir_ + "/elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(symlink((dir_ + "/elsewhere").c_str(), store_.c_str()), 0);
  std::vector<std::string> said = Store({Discharge("M", START, 9)});
  EXPECT_EQ(said,
            std::vector<std::string>{store_ + ": a link, not followed: learnt curves not stored"});
  EXPECT_TRUE(std::filesystem::is_empty(dir_ + "/elsewhere"));
  for (const std::string& given : {store_, store_ + "/"}) {
    std::vector<std::string> problems;
    EXPECT_TRUE(report::ReadCurves(given, {"M"}, &problems).empty());
    EXPECT_EQ(problems,
              std::vector<std::string>{
                  given + ": a link, not followed: learnt curves neither read nor stored"});
  }
  std::filesystem::remove(store_);
  Write(store_, "a file\n");
  said = Store({Discharge("M", START, 9)});
  EXPECT_EQ(said, std::vector<std::string>{store_ + ": not a directory: learnt curves not stored"});
  // Made where it does not exist, parents and all.
  store_ = dir_ + "/new/deeper/store";
  EXPECT_EQ(Store({Discharge("M", START, 9)}).size(), 1u);
  EXPECT_EQ(std::filesystem::status(store_).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
}

// A store the user may not write in: said, and the report goes on.
TEST_F(CurveStore, AStoreThatCannotBeWrittenIsSaid) {
  if (geteuid() == 0) GTEST_SKIP() << "run as root, which may write in any directory";
  ASSERT_EQ(mkdir(store_.c_str(), 0500), 0);
  std::vector<std::string> said = Store({Discharge("M", START, 9)});
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(
      said[0],
      store_ + "/M.curves: cannot be written: Permission denied: the curves of model M not stored");
  chmod(store_.c_str(), 0700);
}

// Two reports storing at once: a reader meets the file whole, every time.
TEST_F(CurveStore, AReaderNeverMeetsATornFile) {
  ASSERT_EQ(Store({Discharge("M", START, 9)}).size(), 1u);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int i = 1; i < 300; i++) {
      std::vector<std::string> stored, problems;
      report::StoreCurves(store_, {Discharge("M", START + i * 86400, 9)}, NOW + i, &stored,
                          &problems);
    }
    _exit(0);
  }
  int torn = 0, reads = 0, status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    std::vector<std::string> problems;
    report::ReadCurves(store_, {"M"}, &problems);
    torn += !problems.empty();
    reads++;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  std::vector<std::string> problems;
  EXPECT_EQ(Load("M", &problems).size(), report::CURVES_KEPT);
}

}  // namespace

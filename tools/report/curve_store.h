// The store of learnt curves: each model's discharges to empty, as the report learnt them,
// kept for later reports of that model whose logs hold none (a terminal's latest upload
// rarely does).
//
// A directory, `$XDG_DATA_HOME/battest/curves` (else `~/.local/share/battest/curves`) or one
// given, with a file per model, named after it with every byte but letters, digits, `-`,
// `_` and a `.` that does not begin the name written as %XX (a name too long for a file
// system shortened and told apart by a hash), ending in `.curves`. The file is text:
//
//   battest learnt curves 1
//   model TM-7
//   curve
//   source r_TM-7_202603021830.txt
//   first 2026-03-02T08:00:00
//   last 2026-03-02T17:50:00
//   stored 2026-03-05T09:12:03Z
//   hours 9.833333
//   volts 3.400000 3.452100 ... (the voltage at each 1 % of the discharge's time, 101)
//   end curve
//   end 1
//
// the model and the source with control characters and `\` written as \xHH; `first` and
// `last` the terminal's stamps of the discharge's first reading and its first at its lowest
// percentage, `stored` the PC's clock (UTC). Up to CURVES_KEPT curves a model, the latest
// by their discharges' ends; a discharge seen again (the same first stamp), further on or
// not, is not kept twice.
//
// The store comes from outside and is not trusted: a file is read only as a regular file
// reached without a link, of at most MAX_CURVE_FILE bytes, and used only when every line
// is as above, its model is the one its name says, its curves rise with the charge and it
// ends with `end` and their count (so a truncated one is known). A file that fails is
// named in a line of its own, not used and never replaced; a store directory that is a
// link is neither read nor written. A file is written whole under a temporary name and
// renamed over the old one, under a lock on the directory, so two reports at once leave
// one or the other's file, never a torn one.
#ifndef TOOLS_REPORT_CURVE_STORE_H
#define TOOLS_REPORT_CURVE_STORE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/report/analysis.h"

namespace report {

constexpr size_t CURVES_KEPT = 8;
constexpr size_t MAX_CURVE_FILE = 64 * 1024;

// `$XDG_DATA_HOME/battest/curves` when that is an absolute path, else
// `$HOME/.local/share/battest/curves`; "" when HOME is not an absolute path either.
std::string DefaultCurveStore();

// The store's file of `model` (not empty): a name of at most 200 bytes that no other
// model has (but by a hash's collision, which the model inside the file tells).
std::string CurveFileName(const std::string& model);

// The file's text, and its reading: its model and curves, or false with what is wrong in
// `error` when `text` is not such a file.
std::string FormatCurveFile(const std::string& model, const std::vector<LearntDischarge>& curves);
bool ParseCurveFile(std::string_view text, std::string* model, std::vector<LearntDischarge>* curves,
                    std::string* error);

// The curves kept of one model after `added` (discharges of it, learnt from logs) joins
// `kept`, stamped `now` (seconds since 1970, UTC): the latest CURVES_KEPT by their ends,
// oldest first. A discharge already kept (its first stamp) is replaced when `added` has it
// further on, else kept as it was. `changed` says whether any curve came in.
std::vector<LearntDischarge> MergeCurves(const std::vector<LearntDischarge>& kept,
                                         const std::vector<LearntDischarge>& added, int64_t now,
                                         bool* changed);

// The curves of `models` in the store at `dir`, oldest first within a model. What cannot be
// read or used is said in `problems`, one line each, and left out.
std::vector<LearntDischarge> ReadCurves(const std::string& dir,
                                        const std::vector<std::string>& models,
                                        std::vector<std::string>* problems);

// Keeps in the store at `dir` the discharges `learnt` of each model (those without a model
// are not kept), made if it does not exist. Says in `stored` what came in, one line a
// model, and in `problems` what could not be kept.
void StoreCurves(const std::string& dir, const std::vector<LearntDischarge>& learnt, int64_t now,
                 std::vector<std::string>* stored, std::vector<std::string>* problems);

// Both, as a report does: the curves of `models` kept before, then `learnt` kept; a store
// that is a link or no directory said once.
std::vector<LearntDischarge> ReadAndStoreCurves(const std::string& dir,
                                                const std::vector<std::string>& models,
                                                const std::vector<LearntDischarge>& learnt,
                                                int64_t now, std::vector<std::string>* stored,
                                                std::vector<std::string>* problems);

// What the store at `dir` holds, per model, newest first, as printed by --list-curves; and
// a line in `problems` for each file it cannot use.
std::string ListCurves(const std::string& dir, std::vector<std::string>* problems);

}  // namespace report

#endif

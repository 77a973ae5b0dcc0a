#include "tools/report/measured_cells.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <tuple>

namespace report {
namespace {

// The fields of a CSV row; a quoted field may hold commas and doubled quotes.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); i++) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      i++;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c != '\r' && c != '\n') {
      fields.back() += c;
    }
  }
  return fields;
}

bool Number(const std::string& text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && errno == 0 && *end == '\0' && std::isfinite(*value);
}

// The columns `names` of a header row, in that order; false when one is missing.
bool Columns(const std::vector<std::string>& header, const std::vector<const char*>& names,
             std::vector<size_t>* at) {
  for (const char* name : names) {
    size_t i = 0;
    while (i < header.size() && header[i] != name) i++;
    if (i == header.size()) return false;
    at->push_back(i);
  }
  return true;
}

}  // namespace

std::string MeasuredCellsDir() {
  const char* given = std::getenv("BATTEST_CELLS");
  return given != nullptr && given[0] != '\0' ? given : BATTEST_CELLS_DIR;
}

bool ReadMeasuredCells(const std::string& dir, std::vector<MeasuredDischarge>* discharges,
                       std::string* error) {
  discharges->clear();
  const std::string indexPath = dir + "/index.csv", samplesPath = dir + "/discharges.csv.gz";
  std::ifstream index(indexPath);
  if (!index) {
    *error = indexPath + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  std::string line;
  std::vector<size_t> col;
  if (!std::getline(index, line) ||
      !Columns(Fields(line),
               {"dataset", "cell", "discharge_id", "load_type", "nominal_capacity_ah",
                "nominal_cutoff_v", "ah_integrated"},
               &col)) {
    *error = indexPath + ": not an index of discharges (its header lacks a column)";
    return false;
  }
  std::map<std::tuple<std::string, std::string, std::string>, size_t> byName;
  for (int row = 2; std::getline(index, line); row++) {
    if (line.empty()) continue;
    std::vector<std::string> f = Fields(line);
    MeasuredDischarge d;
    if (f.size() <= *std::max_element(col.begin(), col.end()) ||
        !Number(f[col[4]], &d.capacityAh) || !Number(f[col[5]], &d.cutoffVolts) ||
        !Number(f[col[6]], &d.chargeAh)) {
      *error = indexPath + ":" + std::to_string(row) + ": a row without its numbers";
      return false;
    }
    d.dataset = f[col[0]];
    d.cell = f[col[1]];
    d.id = f[col[2]];
    d.load = f[col[3]];
    byName[{d.dataset, d.cell, d.id}] = discharges->size();
    discharges->push_back(d);
  }

  gzFile samples = gzopen(samplesPath.c_str(), "rb");
  if (samples == nullptr) {
    *error = samplesPath + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  char buffer[512];
  std::vector<size_t> at;
  bool ok = gzgets(samples, buffer, sizeof buffer) != nullptr &&
            Columns(Fields(buffer),
                    {"dataset", "cell", "discharge_id", "t_s", "voltage_v", "current_a"}, &at);
  if (!ok) *error = samplesPath + ": not the samples of discharges (its header lacks a column)";
  for (long row = 2; ok && gzgets(samples, buffer, sizeof buffer) != nullptr; row++) {
    std::vector<std::string> f = Fields(buffer);
    double t = 0, v = 0, a = NAN;
    auto found = f.size() > at[5] ? byName.find({f[at[0]], f[at[1]], f[at[2]]}) : byName.end();
    if (found == byName.end() || !Number(f[at[3]], &t) || !Number(f[at[4]], &v) ||
        (!f[at[5]].empty() && !Number(f[at[5]], &a))) {
      *error = samplesPath + ":" + std::to_string(row) +
               ": a sample of no discharge in the index, or without its numbers";
      ok = false;
      break;
    }
    MeasuredDischarge& d = (*discharges)[found->second];
    if (!d.seconds.empty() && t < d.seconds.back()) {
      *error = samplesPath + ":" + std::to_string(row) + ": a sample before the one above it";
      ok = false;
      break;
    }
    d.seconds.push_back(t);
    d.volts.push_back(v);
    d.amps.push_back(a);
  }
  int code = Z_OK;
  const char* why = gzerror(samples, &code);
  if (ok && code != Z_OK && code != Z_STREAM_END) {
    *error = samplesPath + ": " + why;
    ok = false;
  }
  gzclose(samples);
  return ok;
}

}  // namespace report

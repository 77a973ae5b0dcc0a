#include "tools/report/html.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/report/summary_text.h"

namespace report {
namespace {

const char STYLE[] = R"(
:root { color-scheme: light; --ink: #1d2430; --muted: #5b6575; --line: #d9dde4; --card: #fff;
  --warn: #b4570a; --warn-bg: #fff1e0; --power: #7a5a00; --power-bg: #fbefcc; }
* { box-sizing: border-box; }
body { margin: 0; background: #eef1f5; color: var(--ink);
  font: 15px/1.45 system-ui, "DejaVu Sans", "Liberation Sans", sans-serif; }
header, main { max-width: 1180px; margin: 0 auto; padding: 0 20px; }
header { padding-top: 22px; }
h1 { font-size: 26px; margin: 0 0 4px; }
h2 { font-size: 20px; margin: 0; overflow-wrap: anywhere; }
.lead { color: var(--muted); margin: 0 0 18px; }
.card { background: var(--card); border-radius: 8px; box-shadow: 0 1px 3px rgba(20, 30, 50, .12);
  margin: 0 0 22px; padding: 16px 18px; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; }
#fleet th, #fleet td { padding: 6px 8px; border-bottom: 1px solid var(--line); text-align: left;
  vertical-align: middle; }
#fleet thead th { position: sticky; top: 0; background: #f7f8fa; font-size: 13px; color: var(--muted);
  font-weight: 600; }
#fleet th button { all: inherit; border: 0; cursor: pointer; padding: 0; }
#fleet th button::after { content: "\00a0\2195"; color: #a9b0bb; }
#fleet th[aria-sort=ascending] button::after { content: "\00a0\2191"; color: var(--ink); }
#fleet th[aria-sort=descending] button::after { content: "\00a0\2193"; color: var(--ink); }
#fleet tbody tr:nth-child(even) { background: #fafbfc; }
#fleet tbody tr:hover { background: #eef4fb; }
#fleet td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
#fleet td.stamp { white-space: nowrap; font-variant-numeric: tabular-nums; color: var(--muted); }
#fleet td.name a { font-weight: 600; display: inline-block; max-width: 18em; overflow: hidden;
  text-overflow: ellipsis; white-space: nowrap; vertical-align: bottom; }
#fleet meter { width: 56px; height: 12px; vertical-align: middle; margin-right: 6px; }
.range { display: block; font-size: 12px; color: var(--muted); }
.none { color: #a0a7b2; }
.badge { display: inline-block; border-radius: 10px; padding: 1px 8px; margin: 1px 2px 1px 0;
  font-size: 12px; white-space: nowrap; background: var(--warn-bg); color: var(--warn); }
.badge.power { background: var(--power-bg); color: var(--power); }
a { color: #1b5fa8; text-decoration: none; }
a:hover { text-decoration: underline; }
.terminal header { display: flex; justify-content: space-between; align-items: baseline; gap: 12px;
  padding: 0; max-width: none; margin: 0 0 4px; }
.terminal .files { color: var(--muted); font-size: 13px; margin: 0 0 10px; overflow-wrap: anywhere; }
.top { font-size: 13px; white-space: nowrap; }
figure { margin: 0 0 12px; }
.frame { position: relative; }
.frame img { display: block; width: 100%; height: auto; }
.noplot { color: var(--muted); font-style: italic; }
figcaption { font-size: 13px; color: var(--muted); margin-top: 4px; }
.key { display: inline-block; width: 18px; height: 10px; margin: 0 5px 0 14px; vertical-align: middle;
  border-radius: 2px; }
.key:first-child { margin-left: 0; }
.key.volts { height: 3px; background: #1f77b4; }
.key.percent { height: 3px; background: #2ca02c; }
.key.band { background: rgba(44, 160, 44, .25); }
.key.power { background: rgba(224, 160, 48, .45); }
.key.gap { background: #e4e6ea; }
.key.threshold { height: 0; border-top: 2px dashed #606060; border-radius: 0; }
.cursor { position: absolute; width: 0; border-left: 1px solid rgba(29, 36, 48, .55);
  pointer-events: none; display: none; }
.tip { position: absolute; pointer-events: none; display: none; background: rgba(29, 36, 48, .92);
  color: #fff; font-size: 13px; padding: 3px 8px; border-radius: 4px; white-space: nowrap;
  font-variant-numeric: tabular-nums; }
table.summary th { text-align: left; font-weight: 600; color: var(--muted); white-space: nowrap;
  padding: 3px 18px 3px 0; vertical-align: top; font-size: 14px; }
table.summary td { padding: 3px 0; vertical-align: top; overflow-wrap: anywhere; }
table.summary tr.more td { color: var(--muted); font-size: 13px; padding-top: 0; }
footer { max-width: 1180px; margin: 0 auto; padding: 0 20px 30px; color: var(--muted); font-size: 13px; }
)";

const char SCRIPT[] = R"(
(function () {
  'use strict';
  var each = function (list, f) { Array.prototype.forEach.call(list, f); };

  // The fleet table: a click on a column's heading sorts by it, again the other way; cells
  // without a value stay last.
  var table = document.getElementById('fleet');
  if (table) {
    var lead = document.querySelector('.lead');
    if (lead) lead.textContent += ' A click on a column\'s heading sorts the table by it.';
    var heads = table.tHead.rows[0].cells;
    var key = function (cell) {
      var v = cell.getAttribute('data-v');
      if (v === null) v = cell.textContent.trim();
      if (v === '') return null;
      var n = Number(v);
      return isNaN(n) ? v.toLowerCase() : n;
    };
    each(heads, function (th, column) {
      var button = document.createElement('button');
      button.type = 'button';
      button.textContent = th.textContent;
      th.textContent = '';
      th.appendChild(button);
      button.addEventListener('click', function () {
        var up = th.getAttribute('aria-sort') !== 'ascending';
        each(heads, function (h) { h.removeAttribute('aria-sort'); });
        th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
        var body = table.tBodies[0];
        var rows = Array.prototype.slice.call(body.rows);
        rows.sort(function (a, b) {
          var x = key(a.cells[column]), y = key(b.cells[column]);
          if (x === null || y === null) return (x === null) - (y === null);
          var order = typeof x === 'number' && typeof y === 'number' ? x - y
                                                                     : String(x).localeCompare(String(y));
          return up ? order : -order;
        });
        each(rows, function (row) { body.appendChild(row); });
      });
    });
  }

  // Each plot: a line across both panels at the pointer's time, and the time and the value
  // under the pointer.
  var two = function (n) { return (n < 10 ? '0' : '') + n; };
  var stamp = function (seconds) {
    var d = new Date(seconds * 1000);  // stamps have no zone: read as UTC
    return two(d.getUTCDate()) + '.' + two(d.getUTCMonth() + 1) + '.' + d.getUTCFullYear() + ' ' +
           two(d.getUTCHours()) + ':' + two(d.getUTCMinutes());
  };
  each(document.querySelectorAll('figure[data-pieces]'), function (figure) {
    var frame = figure.querySelector('.frame');
    var img = frame.querySelector('img');
    var n = {};
    var pieces = figure.dataset.pieces.split(' ').map(Number);
    each(['end', 'width', 'height', 'left', 'right', 'vtop', 'vbottom', 'vlow', 'vhigh',
          'ptop', 'pbottom', 'plow', 'phigh'], function (k) { n[k] = Number(figure.dataset[k]); });
    var cursor = document.createElement('div');
    var tip = document.createElement('div');
    cursor.className = 'cursor';
    tip.className = 'tip';
    frame.appendChild(cursor);
    frame.appendChild(tip);
    var hide = function () { cursor.style.display = tip.style.display = 'none'; };
    var value = function (y, top, bottom, low, high) {
      return high - (y - top) / (bottom - top) * (high - low);
    };
    frame.addEventListener('pointermove', function (event) {
      var box = img.getBoundingClientRect();
      var scale = box.width / n.width;
      var x = (event.clientX - box.left) / scale, y = (event.clientY - box.top) / scale;
      var f = (x - n.left) / (n.right - n.left);
      if (f < 0 || f > 1 || y < n.vtop || y > n.pbottom) { hide(); return; }
      var at = f * n.end, text = 'not logged';
      for (var k = 0; k + 2 < pieces.length; k += 3) {
        if (at >= pieces[k + 2] && at <= pieces[k + 2] + pieces[k + 1] - pieces[k]) {
          text = stamp(pieces[k] + at - pieces[k + 2]);
        }
      }
      if (y <= n.vbottom) {
        text += '   ' + value(y, n.vtop, n.vbottom, n.vlow, n.vhigh).toFixed(3) + ' V';
      } else if (y >= n.ptop) {
        text += '   ' + Math.round(value(y, n.ptop, n.pbottom, n.plow, n.phigh)) + ' %';
      }
      cursor.style.display = tip.style.display = 'block';
      cursor.style.left = x * scale + 'px';
      cursor.style.top = n.vtop * scale + 'px';
      cursor.style.height = (n.pbottom - n.vtop) * scale + 'px';
      tip.textContent = text;
      var left = x * scale + 12;
      if (left + tip.offsetWidth > box.width) left = x * scale - 12 - tip.offsetWidth;
      tip.style.left = left + 'px';
      tip.style.top = Math.max(0, y * scale - 30) + 'px';
    });
    frame.addEventListener('pointerleave', hide);
  });
})();
)";

// SHA-256 (FIPS 180-4), for the page's Content-Security-Policy.
std::string Sha256(std::string_view data) {
  static const uint32_t K[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string message(data);
  const uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  message += '\x80';
  while (message.size() % 64 != 56) message += '\0';
  for (int shift = 56; shift >= 0; shift -= 8) message += static_cast<char>(bits >> shift & 0xFF);
  auto rotate = [](uint32_t x, int n) { return x >> n | x << (32 - n); };
  for (size_t block = 0; block < message.size(); block += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; i++) {
      w[i] = 0;
      for (int j = 0; j < 4; j++) w[i] = w[i] << 8 | static_cast<unsigned char>(message[block + 4 * i + j]);
    }
    for (int i = 16; i < 64; i++) {
      uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; i++) {
      uint32_t t1 = k + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
      uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      k = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    const uint32_t add[8] = {a, b, c, d, e, f, g, k};
    for (int i = 0; i < 8; i++) h[i] += add[i];
  }
  std::string digest;
  for (uint32_t word : h) {
    for (int shift = 24; shift >= 0; shift -= 8) digest += static_cast<char>(word >> shift & 0xFF);
  }
  return digest;
}

std::string Base64(std::string_view data) {
  static const char DIGITS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t group = 0;
    for (size_t j = 0; j < 3; j++) {
      group = group << 8 | (i + j < data.size() ? static_cast<unsigned char>(data[i + j]) : 0);
    }
    for (size_t j = 0; j < 4; j++) {
      text += j <= data.size() - i ? DIGITS[group >> (18 - 6 * j) & 0x3F] : '=';
    }
  }
  return text;
}

// An SVG as a data: URL for a double-quoted attribute: only what a URL or the attribute
// would take otherwise is percent-encoded, and each run of line ends and tabs (gnuplot's
// layout between elements and numbers) is one line end.
std::string SvgUrl(const std::string& svg) {
  std::string url = "data:image/svg+xml;charset=utf-8,";
  url.reserve(url.size() + svg.size() + svg.size() / 8);
  for (size_t i = 0; i < svg.size(); i++) {
    const char c = svg[i];
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\t') {
      if (i > 0 && (svg[i - 1] == '\n' || svg[i - 1] == '\t')) continue;
      url += "%0A";
    } else if (byte < 0x20 || byte >= 0x7F || std::strchr("%#\"&'", c) != nullptr) {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", byte);
      url += code;
    } else {
      url += c;
    }
  }
  return url;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The whole seconds of a duration from the estimate.
std::string Duration(double seconds) {
  return FormatDuration(static_cast<Seconds>(std::clamp(std::round(seconds), 0.0, 9.0e18)));
}

std::string Cell(const std::string& cls, const std::string& value, const std::string& html) {
  return "<td" + (cls.empty() ? "" : " class=\"" + cls + "\"") + " data-v=\"" + HtmlEscaped(value) +
         "\">" + html + "</td>";
}

const char NONE[] = "<span class=\"none\">&#8212;</span>";

std::string FleetRow(size_t index, const Terminal& t, const Summary& s) {
  std::string row = "<tr>" + Cell("name", t.name, "<a href=\"#t" + std::to_string(index) + "\" title=\"" +
                                                      HtmlEscaped(t.name) + "\">" + HtmlEscaped(t.name) + "</a>");
  row += Cell("stamp", std::to_string(s.first), FormatStamp(s.first).substr(0, 16));
  row += Cell("stamp", std::to_string(s.last), FormatStamp(s.last).substr(0, 16));
  if (s.hasReading) {
    std::string percent = std::to_string(s.percentEnd);
    row += Cell("num", percent, "<meter min=\"0\" max=\"100\" low=\"20\" high=\"40\" optimum=\"100\" value=\"" +
                                    percent + "\"></meter>" + percent + " %");
  } else {
    row += Cell("num", "", NONE);
  }
  if (s.hasReading && s.fallingTime > 0) {
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.2f %%/h", s.percentPerHour);
    row += Cell("num", Number(s.percentPerHour), rate);
  } else {
    row += Cell("num", "", NONE);
  }
  if (s.timeLeft.known) {
    row += Cell("num", Number(s.timeLeft.seconds),
                Duration(s.timeLeft.seconds) + "<span class=\"range\">" + Duration(s.timeLeft.low) +
                    " to " + Duration(s.timeLeft.high) + "</span>");
  } else {
    std::string why = s.hasReading ? s.timeLeft.whyNot : "no battery reading in the log";
    row += "<td class=\"num\" data-v=\"\" title=\"" + HtmlEscaped(why) + "\">" + NONE + "</td>";
  }
  // Sorted by the faults in the log first (duplicates, implausible falls, kept apart), then
  // by the stretches on external power.
  std::string badges;
  size_t count = 0;
  auto badge = [&](size_t n, const std::string& cls, const std::string& text, const std::string& title) {
    if (n == 0) return;
    count += cls.empty() ? 100000 * n : n;
    badges += "<span class=\"badge" + cls + "\" title=\"" + HtmlEscaped(title) + "\">" + text + "</span>";
  };
  badge(t.duplicates, "", std::to_string(t.duplicates) + " duplicate" + (t.duplicates == 1 ? "" : "s") +
                              " left out", "first " + t.firstDuplicate);
  badge(s.implausible, "", std::to_string(s.implausible) + " implausible fall" +
                               (s.implausible == 1 ? "" : "s"), "first " + s.firstImplausible);
  badge(t.apart.empty() ? 0 : 1, "", "kept apart", t.apart);
  badge(s.externalPower.size(), " power",
        "external power " + std::to_string(s.externalPower.size()) + "&#215;",
        "stretches probably on external power");
  row += "<td data-v=\"" + std::to_string(count) + "\">" + badges + "</td></tr>\n";
  return row;
}

// The summary's lines "  LABEL              VALUE" as rows; a line without a label goes
// on the value before it.
std::string SummaryRows(const std::string& text) {
  std::string rows;
  size_t start = text.find('\n') + 1;  // the first line ("Terminal ...") is shown apart
  while (start > 0 && start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? 0 : end + 1;
    const size_t valueAt = 21;  // two spaces, the label in 18, a space
    std::string label, value = line;
    if (line.size() > valueAt && line.compare(0, 2, "  ") == 0 && line[valueAt - 1] == ' ') {
      label = line.substr(2, 18);
      label.erase(label.find_last_not_of(' ') + 1);
      value = line.substr(valueAt);
    } else {
      value.erase(0, value.find_first_not_of(' '));
    }
    rows += std::string(label.empty() && !rows.empty() ? "<tr class=\"more\">" : "<tr>") + "<th>" +
            HtmlEscaped(label) + "</th><td>" + HtmlEscaped(value) + "</td></tr>\n";
  }
  return rows;
}

std::string Figure(const Terminal& t, const Summary& s, const SvgPlot& plot, const std::string& error) {
  if (plot.svg.empty()) {
    std::string why = !error.empty() ? "no plot: " + error : "no plot: no battery reading in the log";
    return "<p class=\"noplot\">" + HtmlEscaped(why) + "</p>\n";
  }
  // The plot's axes, for the pointer's readout: its time axis' pieces, and where its panels
  // lie in the SVG with the values at their edges.
  std::string pieces;  // "from to x" of each piece of the time axis
  for (const AxisPiece& p : plot.pieces) {
    pieces += (pieces.empty() ? "" : " ") + std::to_string(p.from) + " " + std::to_string(p.to) + " " + Number(p.x);
  }
  std::string figure = "<figure data-pieces=\"" + pieces + "\"";
  const std::pair<const char*, double> data[] = {
      {"end", plot.end}, {"width", SVG_WIDTH}, {"height", SVG_HEIGHT}, {"left", plot.left}, {"right", plot.right},
      {"vtop", plot.voltage.top}, {"vbottom", plot.voltage.bottom}, {"vlow", plot.voltage.low},
      {"vhigh", plot.voltage.high}, {"ptop", plot.percent.top}, {"pbottom", plot.percent.bottom},
      {"plow", plot.percent.low}, {"phigh", plot.percent.high}};
  for (const auto& [name, value] : data) figure += std::string(" data-") + name + "=\"" + Number(value) + "\"";
  figure += "><div class=\"frame\"><img width=\"" + std::to_string(SVG_WIDTH) + "\" height=\"" +
            std::to_string(SVG_HEIGHT) + "\" alt=\"Voltage and filtered percentage of " +
            HtmlEscaped(t.name) + "\" src=\"" + SvgUrl(plot.svg) + "\"></div>\n<figcaption>"
            "<span class=\"key volts\"></span>voltage<span class=\"key percent\"></span>filtered percentage"
            "<span class=\"key threshold\"></span>40 %";
  if (s.timeLeft.known && !s.timeLeft.path.empty()) {
    figure += "<span class=\"key band\"></span>time left to 0 %, 80 % interval (dotted: the estimate)";
  }
  if (!s.externalPower.empty()) figure += "<span class=\"key power\"></span>probably on external power";
  if (plot.pieces.size() > 1) figure += "<span class=\"key gap\"></span>a long gap, drawn narrow";
  return figure + "</figcaption></figure>\n";
}

}  // namespace

std::string HtmlEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : Visible(text)) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string HtmlPage(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                     const std::vector<SvgPlot>& plots, const std::string& plotError) {
  Seconds first = 0, last = 0;
  size_t files = 0;
  for (size_t i = 0; i < terminals.size(); i++) {
    first = i == 0 ? summaries[i].first : std::min(first, summaries[i].first);
    last = i == 0 ? summaries[i].last : std::max(last, summaries[i].last);
    files += terminals[i].files.size();
  }
  const std::string count = std::to_string(terminals.size()) + " terminal" + (terminals.size() == 1 ? "" : "s");
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
      "style-src 'sha256-" + Base64(Sha256(STYLE)) + "'; script-src 'sha256-" + Base64(Sha256(SCRIPT)) +
      "'; base-uri 'none'; form-action 'none'\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Battery logs: " + count + "</title>\n<style>" + STYLE + "</style>\n</head>\n<body>\n"
      "<header><h1>Battery logs: " + count + "</h1>\n<p class=\"lead\">" + std::to_string(files) +
      " file" + (files == 1 ? "" : "s") + ", stamps from " + FormatStamp(first) + " to " + FormatStamp(last) +
      ". A terminal's name leads to its summary and plot.</p>"
      "</header>\n<main>\n<div class=\"card scroll\"><table id=\"fleet\">\n<thead><tr><th>Terminal</th>"
      "<th>First stamp</th><th>Last stamp</th><th>Filtered % at the end</th><th>Discharge rate</th>"
      "<th>Time left to 0&#160;% (80&#160;%)</th><th>Warnings</th></tr></thead>\n<tbody>\n";
  for (size_t i = 0; i < terminals.size(); i++) page += FleetRow(i, terminals[i], summaries[i]);
  page += "</tbody></table></div>\n";
  for (size_t i = 0; i < terminals.size(); i++) {
    const std::string text = SummaryText(terminals[i], summaries[i]);
    page += "<section class=\"card terminal\" id=\"t" + std::to_string(i) + "\">\n<header><h2>" +
            HtmlEscaped(terminals[i].name) + "</h2><a class=\"top\" href=\"#fleet\">&#8593; all terminals</a>"
            "</header>\n<p class=\"files\">" + HtmlEscaped(text.substr(0, text.find('\n'))) + "</p>\n" +
            Figure(terminals[i], summaries[i], plots[i], plotError) + "<table class=\"summary\">\n" +
            SummaryRows(text) + "</table>\n</section>\n";
  }
  page += "</main>\n<footer>Made by battest-report. Stamps are the terminals' own clocks, "
          "without a time zone.</footer>\n<script>" + std::string(SCRIPT) + "</script>\n</body>\n</html>\n";
  return page;
}

std::string WriteHtml(const std::string& path, const std::vector<Terminal>& terminals,
                      const std::vector<Summary>& summaries) {
  // The report's own word on a page it cannot write, before drawing anything.
  const bool existed = access(path.c_str(), F_OK) == 0;
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (out < 0) return Visible(path) + ": cannot write: " + std::strerror(errno);
  close(out);
  std::vector<SvgPlot> plots;
  const std::string plotError = DrawSvgs(terminals, summaries, &plots);
  if (!plotError.empty()) {
    for (SvgPlot& plot : plots) plot.svg.clear();
  }
  const std::string page = HtmlPage(terminals, summaries, plots, plotError);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(page.data(), 1, page.size(), f) == page.size();
  int error = errno;
  if (f != nullptr && std::fclose(f) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    if (!existed) unlink(path.c_str());
    return Visible(path) + ": cannot write: " + std::strerror(error);
  }
  return plotError.empty() ? "" : Visible(path) + ": written without plots: " + plotError;
}

}  // namespace report

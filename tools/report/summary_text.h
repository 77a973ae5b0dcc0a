// The summary block of one terminal, as the command prints it on standard output.
#ifndef TOOLS_REPORT_SUMMARY_TEXT_H
#define TOOLS_REPORT_SUMMARY_TEXT_H

#include <string>

#include "tools/report/analysis.h"

namespace report {

std::string SummaryText(const Terminal& terminal, const Summary& summary);

}  // namespace report

#endif

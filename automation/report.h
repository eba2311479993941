// `tallyset report`: the time card added up. Minutes per combination of
// field values over a date range, read from the calendar store with the
// screen's own settings parsing and category matching, written as an aligned
// table, CSV or JSON, and drawn as a bar chart.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace tallyset {

enum class ReportFormat { Table, Csv, Json };
enum class ChartFormat { Png, Svg };

struct ReportTally {
  long long minutes = 0;
  long long appointments = 0;
};

struct ReportRow {
  std::vector<std::string> values;  // UTF-8, one per grouping field; "" is no value
  ReportTally tally;
};

struct Report {
  std::string from, to;         // YYYY-MM-DD, both days whole
  std::vector<std::string> by;  // the grouping fields' labels, without their ':'
  std::vector<ReportRow> rows;  // minutes descending, then values ascending
  ReportTally total;
  ReportTally incomplete;  // lacking a value of some field, whatever `by` groups by
  long long all_day = 0;   // all-day appointments: counted here alone, never in minutes
};

// Minutes as hours with two decimals and a point, rounded half up ("1.25").
std::string FormatHours(long long minutes);
void WriteReport(const Report& report, ReportFormat format, std::ostream& out);
// A horizontal bar per row. False with one line in *error when the file
// cannot be written.
bool DrawReportChart(const Report& report, const std::filesystem::path& file, ChartFormat format,
                     std::string* error);

// The subcommand; `args` are the words after `report`. Returns the exit
// code: 0, 1 without a settings appointment, 2 on bad input.
int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tallyset

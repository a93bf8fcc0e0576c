#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The pieces the report's lines are made of.
namespace report_text {

// "YYYY-MM-DD HH:MM:SS", local time.
std::string LocalTime(std::int64_t ms);
// "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string IsoUtc(std::int64_t ms);
// "45s", "3m05s", "2h03m", "4d05h".
std::string Duration(std::int64_t ms);
// A CSV field, quoted when it must be.
std::string CsvField(const std::string& text);
// The width on a terminal: wide (CJK) characters count two.
std::size_t Width(const std::string& utf8);
// Rows of cells as aligned columns, two blanks apart, each line ending in '\n'.
std::string Columns(const std::vector<std::vector<std::string>>& rows);
// Result and end-reason words: Chinese for people, ASCII for CSV.
std::string ResultText(int result);
const char* ResultWord(int result);
std::string EndText(int reason);
const char* EndWord(int reason);

} // namespace report_text

// A small CSV reader, for case files, route files and tower files: comma-separated fields, fields in double
// quotes may hold commas, doubled quotes and line breaks. Blank lines and lines starting with '#' are
// skipped; a UTF-8 byte-order mark before the first line (as spreadsheet programs write it) is dropped. Each
// record knows the line it starts on, for messages.
#pragma once

#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <string>
#include <vector>

namespace egm::io {

struct CsvRecord {
    int line = 0; // 1-based line where the record starts
    std::vector<std::string> fields;
    std::string error; // set when the record is malformed (an unclosed quote)
};

// Reads the next record; false at the end of the input. A trailing carriage
// return is dropped.
bool readCsvRecord(std::istream& in, int& line, CsvRecord& record);

// What keeps a record from being a row of a table of `columns` fields: its
// own error (an unclosed quote) or its count of fields ("3 fields where the
// header has 2"); empty when it is one.
std::string recordFault(const CsvRecord& record, std::size_t columns);

// A field without its leading and trailing blanks and tabs.
std::string trimmedField(const std::string& field);
// The text in lower case (ASCII), for column names and kinds.
std::string lowered(std::string text);

// The file at path opened for reading; Error ("cannot open tower file 'F':
// No such file or directory", what naming the kind of file) when it cannot be.
template <class Error> std::ifstream openedOrThrow(const std::string& path, const std::string& what)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Error("cannot open " + what + " '" + path + "': " + std::strerror(errno));
    }
    return in;
}

} // namespace egm::io

// Reading numbers and words as every program of the project reads them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace egm::io {

// The whole of text as a real, as the library reads one (egm::parseNumber):
// decimal, with an exponent, hexadecimal, nan, inf. False when anything is
// left over or the text is empty or starts with white space.
bool parseReal(std::string_view text, double& value);

// Whitespace-separated words of a text file, in order; a UTF-8 byte-order
// mark at the very start is skipped.
class WordReader {
  public:
    explicit WordReader(std::FILE* stream) : stream_(stream) {}
    // The next word, bytes as they are (a NUL included); false at the end
    // of the file or on a read error.
    bool next(std::string& word);

  private:
    int get();

    std::FILE* stream_;
    bool started_ = false;
    std::string pending_; // bytes read ahead at the start, not a mark
};

// A word for a one-line message: at most 40 characters, bytes that are not
// printable written as \xNN.
std::string printable(std::string_view word);

} // namespace egm::io

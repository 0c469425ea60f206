#include "numbers.h"

#include <cctype>
#include <cstdlib>

#include "egm/input_table.h"

namespace egm::io {

bool parseReal(std::string_view text, double& value)
{
    return egm::parseNumber(text, value);
}

int WordReader::get()
{
    if (!started_) {
        started_ = true;
        for (int k = 0; k < 3; ++k) {
            const int c = std::fgetc(stream_);
            if (c == EOF) {
                break;
            }
            pending_.push_back(static_cast<char>(c));
        }
        if (pending_ == "\xEF\xBB\xBF") {
            pending_.clear();
        }
    }
    if (!pending_.empty()) {
        const int c = static_cast<unsigned char>(pending_.front());
        pending_.erase(0, 1);
        return c;
    }
    return std::fgetc(stream_);
}

bool WordReader::next(std::string& word)
{
    word.clear();
    int c = get();
    while (c != EOF && std::isspace(c)) {
        c = get();
    }
    if (c == EOF) {
        return false;
    }
    while (c != EOF && !std::isspace(c)) {
        word.push_back(static_cast<char>(c));
        c = get();
    }
    // The white space that ended the word is not part of the next one.
    return true;
}

std::string printable(std::string_view word)
{
    std::string out;
    for (unsigned char c : word.substr(0, 40)) {
        if (std::isprint(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    if (word.size() > 40) {
        out += "...";
    }
    return out;
}

} // namespace egm::io

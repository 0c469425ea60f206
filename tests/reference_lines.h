// The reference lines of tests/data/reference_rates.txt: inputs and the
// rates they yield, as hex floats.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EGMs2x.h"

struct ReferenceLine {
    std::string name;
    RateInputs inputs;
    double rateC1 = 0.0;
    double rateC2 = 0.0;
    double rateTotal = 0.0;
};

inline double readHexDouble(std::istream& in)
{
    std::string word;
    in >> word;
    return std::strtod(word.c_str(), nullptr);
}

inline std::vector<ReferenceLine> loadReferenceLines()
{
    std::vector<ReferenceLine> lines;
    std::ifstream file(EGM_TEST_DATA_DIR "/reference_rates.txt");
    std::string text;
    while (std::getline(file, text)) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::istringstream in(text);
        ReferenceLine line;
        in >> line.name;
        RateInputs& i = line.inputs;
        for (double* v : {&i.groundFlashDensity, &i.slopeAngle, &i.minCurrent, &i.voltageTerm,
                          &i.currentScale, &i.currentExponent}) {
            *v = readHexDouble(in);
        }
        for (double& g : i.geometry) {
            g = readHexDouble(in);
        }
        std::string bar;
        in >> bar;
        line.rateC1 = readHexDouble(in);
        line.rateC2 = readHexDouble(in);
        line.rateTotal = readHexDouble(in);
        lines.push_back(line);
    }
    return lines;
}

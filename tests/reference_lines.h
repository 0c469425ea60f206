// Reference lines with their rates, as hex floats:
//  tests/data/rates.tsv, computed independently of this code base (a header
//    line naming the columns, then one line per case);
//  tests/data/reference_rates.txt, stored by this code base, with the edge
//    cases where NaN flows into the rates.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "integration.h"

struct ReferenceLine {
    std::string name;
    egm::model::IntegrationCase inputs;
    double rateC1 = 0.0;
    double rateC2 = 0.0;
    double rateTotal = 0.0;
};

inline double readHexDouble(const std::string& word)
{
    return std::strtod(word.c_str(), nullptr);
}

// The 48 lines of tests/data/rates.tsv.
inline std::vector<ReferenceLine> loadIndependentRates()
{
    std::ifstream file(EGM_TEST_DATA_DIR "/rates.tsv");
    std::string text;
    std::getline(file, text);
    std::vector<std::string> columns;
    {
        std::istringstream header(text);
        std::string name;
        while (header >> name) {
            columns.push_back(name);
        }
    }
    std::vector<ReferenceLine> lines;
    while (std::getline(file, text)) {
        std::istringstream in(text);
        std::map<std::string, double> v;
        std::string word;
        for (const std::string& column : columns) {
            in >> word;
            v[column] = readHexDouble(word);
        }
        ReferenceLine line;
        line.name = "rates.tsv line " + std::to_string(lines.size() + 2);
        egm::model::IntegrationCase& c = line.inputs;
        c.flashDensity = v["groundFlashDensity"];
        c.slopeAngle = v["slopeAngle"];
        c.minCurrent = v["minCurrent"];
        c.geometry = {v["x1"], v["x2"], v["x3"], v["x4"], v["h1"], v["h2"], v["h3"], v["h4"]};
        c.voltageTerm = v["voltageTerm"];
        c.distribution.scale = v["currentScale"];
        c.distribution.exponent = v["currentExponent"];
        line.rateC1 = v["rateC1"];
        line.rateC2 = v["rateC2"];
        line.rateTotal = v["rateTotal"];
        lines.push_back(line);
    }
    return lines;
}

// The lines of tests/data/reference_rates.txt.
inline std::vector<ReferenceLine> loadStoredRates()
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
        egm::model::IntegrationCase& c = line.inputs;
        std::string word;
        for (double* v : {&c.flashDensity, &c.slopeAngle, &c.minCurrent, &c.voltageTerm,
                          &c.distribution.scale, &c.distribution.exponent}) {
            in >> word;
            *v = readHexDouble(word);
        }
        for (double& g : c.geometry) {
            in >> word;
            g = readHexDouble(word);
        }
        in >> word; // "|"
        for (double* v : {&line.rateC1, &line.rateC2, &line.rateTotal}) {
            in >> word;
            *v = readHexDouble(word);
        }
        lines.push_back(line);
    }
    return lines;
}

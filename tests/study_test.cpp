// What egm-study computes, in process: the CSV reader, the inputs by name,
// the maximum shielding failure current and the batch against single cases.
#include <sstream>

#include "bits.h"
#include "circleCrosspoint_initialize.h"
#include "study_batch.h"
#include "study_core.h"
#include "study_csv.h"
#include "study_csv_text.h"
#include "study_format.h"

namespace {

TEST(StudyCsv, QuotingLineBreaksAndLineNumbers)
{
    const auto records =
        csvRecords("a,b,c\r\n\n\"x, y\",\"say \"\"hi\"\"\",\n\"two\nlines\",2,3\n1,\"open\n");
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), records[0].fields);
    EXPECT_EQ(1, records[0].line);
    EXPECT_EQ((std::vector<std::string>{"x, y", "say \"hi\"", ""}), records[1].fields);
    EXPECT_EQ(3, records[1].line);
    EXPECT_EQ((std::vector<std::string>{"two\nlines", "2", "3"}), records[2].fields);
    EXPECT_EQ(4, records[2].line);
    EXPECT_EQ(6, records[3].line);
    EXPECT_EQ("unclosed quote", records[3].error);
}

TEST(StudyFormat, ShortestNumbersReadBackExactly)
{
    for (double x : {0x1.d68805eb8c128p-3, 0.1, 23.5, -0.0, 1e308, 5e-324, 336.50543752035856}) {
        const std::string text = study::shortest(x);
        EXPECT_SAME_BITS(x, std::strtod(text.c_str(), nullptr)) << text;
    }
    EXPECT_EQ("0.22975163102229001", study::shortest(0x1.d68805eb8c128p-3));
    EXPECT_EQ("nan", study::shortest(-kNaN));
    EXPECT_EQ("-inf", study::shortest(-kInf));
    EXPECT_EQ("\"a, \"\"b\"\"\"", study::csvField("a, \"b\""));
}

TEST(StudyInputs, EveryNameReachesItsField)
{
    RateInputs in;
    double value = 100.0;
    for (const std::string& name : study::inputNames()) {
        double* field = study::inputField(in, name);
        ASSERT_NE(nullptr, field) << name;
        *field = ++value;
    }
    EXPECT_EQ(101.0, in.groundFlashDensity);
    EXPECT_EQ(103.0, in.minCurrent);
    EXPECT_EQ(107.0, in.geometry[0]);
    EXPECT_EQ(114.0, in.geometry[7]);
    EXPECT_EQ(nullptr, study::inputField(in, "h5"));
    EXPECT_EQ(nullptr, study::inputField(in, "slop"));
}

TEST(StudyMaxCurrent, BracketsTheLastExposureWithinTheResolution)
{
    circleCrosspoint_initialize();
    RateInputs in;
    in.voltageTerm = 0.0;
    const study::CaseResult r = study::analyseCase(in);
    for (int c = 1; c <= 2; ++c) {
        SCOPED_TRACE(c);
        ASSERT_TRUE(r.maxCurrent[c - 1].has_value());
        const double last = *r.maxCurrent[c - 1];
        EXPECT_TRUE(study::conductorExposed(in, last, c));
        EXPECT_FALSE(study::conductorExposed(in, last + study::kCurrentResolution, c));
        EXPECT_FALSE(study::conductorExposed(in, std::floor(last - in.minCurrent) + 1.0 + in.minCurrent, c));
    }
    // The built-in line never exposes conductor 2.
    const study::CaseResult builtIn = study::analyseCase(RateInputs{});
    EXPECT_FALSE(builtIn.maxCurrent[1].has_value());
    EXPECT_TRUE(builtIn.maxCurrent[0].has_value());
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, builtIn.rates.rateTotal);
}

TEST(StudyBatch, RowsMatchSingleCasesAndBadRowsStayInPlace)
{
    std::istringstream cases(
        "slope,h1,h2,name\n-20,55,55,a\n5,57,,b\nfive,57,57,c\n30,60,60,\"d, e\"\n1,2\n");
    std::ostringstream results;
    const study::BatchSummary summary = study::runBatch(cases, results, RateInputs{}, 2);
    EXPECT_EQ(5, summary.cases);
    EXPECT_EQ(2, summary.failed);
    const auto rows = csvRecords(results.str());
    ASSERT_EQ(6u, rows.size());
    const struct {
        double slope;
        double h1;
        double h2;
    } good[] = {{-20, 55, 55}, {5, 57, 57}, {0, 0, 0}, {30, 60, 60}};
    for (int k : {0, 1, 3}) {
        SCOPED_TRACE(k);
        RateInputs in;
        in.slopeAngle = good[k].slope;
        in.geometry[4] = good[k].h1;
        in.geometry[5] = good[k].h2;
        const study::CaseResult single = study::analyseCase(in);
        const std::vector<std::string>& f = rows[k + 1].fields;
        ASSERT_EQ(9u, f.size());
        EXPECT_SAME_BITS(single.rates.rateC1, std::strtod(f[3].c_str(), nullptr));
        EXPECT_SAME_BITS(single.rates.rateC2, std::strtod(f[4].c_str(), nullptr));
        EXPECT_SAME_BITS(single.rates.rateTotal, std::strtod(f[5].c_str(), nullptr));
        EXPECT_EQ("", f[8]);
    }
    EXPECT_EQ("d, e", rows[4].fields[2]);
    EXPECT_EQ("c", rows[3].fields[2]);
    EXPECT_NE(std::string::npos, rows[3].fields[8].find("line 4: slope 'five' is not a number"));
    EXPECT_NE(std::string::npos, rows[5].fields[8].find("line 6: 2 fields"));
}

TEST(StudyBatch, UnusableHeaderIsRefusedWhole)
{
    for (const char* text : {"", "slope,height\n1,2\n", "slope,slope\n1,2\n"}) {
        std::istringstream cases(text);
        std::ostringstream results;
        EXPECT_THROW(study::runBatch(cases, results, RateInputs{}, 1), study::CaseFileError) << text;
    }
}

} // namespace

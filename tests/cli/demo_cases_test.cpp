// Every case of `orve demo` through the pipeline of `orve process`, held to
// the figures its effect is known to achieve.
#include "demo/demo_cases.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace orve::demo {

void PrintTo(const DemoCase& c, std::ostream* out) { *out << c.name; }

namespace {

class DemoCaseTest : public ::testing::TestWithParam<DemoCase> {};

TEST_P(DemoCaseTest, FiguresMeetTheirExpectations) {
    const DemoCase& c = GetParam();
    ASSERT_FALSE(c.expected.empty()) << "every case states what it should show";
    const CaseResult result = RunCase(c);
    EXPECT_TRUE(result.unmet.empty()) << result.measurement.text << "\n" << ::testing::PrintToString(result.unmet);
}

INSTANTIATE_TEST_SUITE_P(Demo, DemoCaseTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<DemoCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace orve::demo

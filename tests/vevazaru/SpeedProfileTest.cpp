// The editor's speed profile: its numbers from the "speed" command on a
// straight flight at uneven times and after constant-velocity re-timing, the
// measured depth flow between its samples, refusals, and plot files read back.
#include "EditorFixture.h"
#include "PathTestSupport.h"
#include "internal/SpeedPlot.h"

#include <hxcore/HxInterpreter.h>

#include <QImage>
#include <algorithm>
#include <sstream>
#include <tcl.h>

namespace {

namespace fs = std::filesystem;

// Rows of numbers from a Tcl list of lists of plain numbers.
std::vector<std::vector<float>> rowsOf(const std::string& list) {
    std::vector<std::vector<float>> rows;
    std::istringstream in(list);
    std::string row;
    while (std::getline(in, row, '}')) {
        row.erase(std::remove(row.begin(), row.end(), '{'), row.end());
        std::istringstream numbers(row);
        std::vector<float> values;
        for (float v; numbers >> v;) values.push_back(v);
        if (!values.empty()) rows.push_back(values);
    }
    return rows;
}

class SpeedProfileTest : public EditorFixture {
protected:
    // Keyframes 10 apart along x (EditorFixture) at these times: speeds 10, 5, 2.5.
    const std::vector<float> times{0, 1, 3, 7};
    void SetUp() override {
        // A wall ahead of the flight, so the optical metric sees the scene.
        showBox(SbVec3f(15, 0, -50), SbVec3f(200, 200, 1));
        EditorFixture::SetUp();
        fs::current_path(dir.path);
        addKeyframes(times);
        editor->attach(path);
    }
    void TearDown() override {
        fs::current_path(previousDir);
        EditorFixture::TearDown();
    }
    std::string run(const std::string& command) {
        const int code = theInterpreter->eval(("cameraPathEditor " + command).c_str());
        return (code == TCL_OK ? "" : "error: ") + theInterpreter->result();
    }
    // The speed keyframes k and k + 1 are flown at.
    float segmentSpeed(std::size_t k) const { return 10.0f / (times[k + 1] - times[k]); }
    fs::path previousDir = fs::current_path();
    ScratchDir dir;
};

TEST_F(SpeedProfileTest, aStraightFlightAtUnevenTimesHasOneSpeedPerSegmentUntilConstvEvensIt) {
    const float step = 0.25f;
    const auto rows = rowsOf(run("speed " + std::to_string(step)));
    ASSERT_EQ(rows.size(), std::size_t((times.back() - times.front()) / step));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 3u) << "no depth flow measured: three columns";
        EXPECT_FLOAT_EQ(rows[i][0], times.front() + (float(i) + 0.5f) * step);
        const std::size_t k = std::upper_bound(times.begin(), times.end(), rows[i][0]) - times.begin() - 1;
        EXPECT_NEAR(rows[i][1], segmentSpeed(k), 0.01f * segmentSpeed(k)) << "at t = " << rows[i][0];
        // Sideways at one distance from the wall, the picture moves as the camera does.
        EXPECT_NEAR(rows[i][2] / rows[i][1], rows[0][2] / rows[0][1], 0.02f * rows[0][2] / rows[0][1]);
    }
    std::istringstream before(run("speed -summary"));
    std::string name;
    float ratio = 0;
    before >> name >> ratio;
    EXPECT_EQ(name, "translation");
    EXPECT_NEAR(ratio, segmentSpeed(0) / segmentSpeed(2), 0.01f * ratio);

    ASSERT_EQ(run("constv"), "");
    std::istringstream after(run("speed -summary"));
    for (const char* metric : {"translation", "optical"}) {
        after >> name >> ratio;
        EXPECT_EQ(name, metric);
        EXPECT_NEAR(ratio, 1.0f, 0.01f) << metric;
    }
    const float even = (times.size() - 1) * 10.0f / (times.back() - times.front());
    for (const auto& row : rowsOf(run("speed"))) EXPECT_NEAR(row[1], even, 0.01f * even) << "at t = " << row[0];
}

TEST_F(SpeedProfileTest, aStepThatDoesNotDivideThePathLeavesAShorterLastInterval) {
    // Intervals 0..3 (two segments), 3..6 and 6..7 (inside the last).
    const std::vector<std::vector<float>> expected{{1.5f, 20.0f / 3}, {4.5f, segmentSpeed(2)}, {6.5f, segmentSpeed(2)}};
    const auto rows = rowsOf(run("speed 3"));
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_FLOAT_EQ(rows[i][0], expected[i][0]);
        EXPECT_NEAR(rows[i][1], expected[i][1], 0.01f * expected[i][1]) << "at t = " << rows[i][0];
    }
}

TEST_F(SpeedProfileTest, aMeasuredDepthFlowIsAFourthColumnAndInTheSummary) {
    // One measurement per time unit from 0.01, per 0.001 time units.
    for (int i = 0; i < 8; ++i) editor->flowSamples.append(0.001f * float(1 + i % 2));
    const auto rows = rowsOf(run("speed 0.5"));
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 4u);
        // Whole units from the first measurement alternate 1, 2; half-way between is 1.5.
        const float phase = std::fmod(row[0] - 0.01f, 2.0f);
        const float expected = phase <= 1 ? 1 + phase : 3 - phase;
        EXPECT_NEAR(row[3], expected, 1e-3f) << "at t = " << row[0];
    }
    std::istringstream summary(run("speed -summary 0.5"));
    std::vector<std::string> words{std::istream_iterator<std::string>(summary), {}};
    ASSERT_EQ(words.size(), 6u);
    EXPECT_EQ(words[4], "flow");
    float low = rows[0][3], high = rows[0][3];
    for (const auto& row : rows) low = std::min(low, row[3]), high = std::max(high, row[3]);
    EXPECT_NEAR(std::stof(words[5]), high / low, 1e-4f * high / low);
}

TEST_F(SpeedProfileTest, refusalsSayWhyAndWriteNothing) {
    const struct {
        const char* command;
        const char* message;
    } cases[] = {
        {"speed 0", "speed: the step must be above 0 and split the path into at most 100000 intervals"},
        {"speed 1e-6", "speed: the step must be above 0 and split the path into at most 100000 intervals"},
        {"speed fast", "speed: expected a time step, got \"fast\""},
        {"speed 1 2", "speed: usage: speed ?-summary? ?step?"},
        {"plot", "plot: usage: plot file.png|file.svg ?-size w h?"},
        {"plot a.png -size 0 10", "plot: expected a width and a height from 1 to 8192 pixels"},
        {"plot a.png -size 10 9000", "plot: expected a width and a height from 1 to 8192 pixels"},
        {"plot a.jpg", "plot: cannot write \"a.jpg\": the name must end in .png or .svg"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.command), std::string("error: cameraPathEditor ") + c.message);
    EXPECT_TRUE(fs::is_empty(dir.path));
    path->removeKeyframe(3);
    path->removeKeyframe(2);
    path->removeKeyframe(1);
    EXPECT_EQ(run("speed"), "error: cameraPathEditor speed: the path needs two keyframes at different times");
    editor->detach();
    EXPECT_EQ(run("speed"), "error: cameraPathEditor speed: the editor is not attached to a keyframe path");
}

// The columns' topmost pixels of the colour, per column (-1: none).
std::vector<int> topmost(const QImage& image, const QColor& colour) {
    std::vector<int> tops(image.width(), -1);
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height() && tops[x] < 0; ++y) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                30)
                tops[x] = y;
        }
    return tops;
}

struct Flat {
    int first, last, y;
};
// Runs of neighbouring columns whose tops lie within a pixel of the run's first.
std::vector<Flat> flatRuns(const std::vector<int>& tops) {
    std::vector<Flat> runs;
    for (int x = 0; x < int(tops.size()); ++x) {
        if (tops[x] < 0) continue;
        if (!runs.empty() && runs.back().last == x - 1 && std::abs(tops[x] - runs.back().y) <= 1)
            runs.back().last = x;
        else
            runs.push_back({x, x, tops[x]});
    }
    return runs;
}

TEST_F(SpeedProfileTest, thePngPlotHasTheSizeAskedForAndDrawsEachSegmentsSpeedWhereItBelongs) {
    ASSERT_EQ(run("plot speed.png -size 700 420"), "");
    const QImage image("speed.png");
    ASSERT_EQ(image.size(), QSize(700, 420));
    std::vector<Flat> runs = flatRuns(topmost(image, SpeedChart::translationColor()));
    ASSERT_GE(runs.size(), 3u);
    std::sort(runs.begin(), runs.end(),
              [](const Flat& a, const Flat& b) { return a.last - a.first > b.last - b.first; });
    runs.resize(3);
    std::sort(runs.begin(), runs.end(), [](const Flat& a, const Flat& b) { return a.first < b.first; });
    // The flat pieces are as long as the segments last and as high as their speeds:
    // their heights above the axis halve from one to the next, so each drop is half the one before.
    const float width = float(runs[2].last - runs[0].first);
    for (int k = 0; k < 3; ++k) {
        const float share = (times[k + 1] - times[k]) / (times.back() - times.front());
        EXPECT_NEAR(float(runs[k].last - runs[k].first) / width, share, 0.03f) << "segment " << k;
    }
    EXPECT_LT(runs[0].y, runs[1].y);
    EXPECT_NEAR(float(runs[1].y - runs[0].y) / float(runs[2].y - runs[1].y), 2.0f, 0.15f);
}

TEST_F(SpeedProfileTest, theSvgPlotHasTheSizeAskedFor) {
    ASSERT_EQ(run("plot speed.svg -size 300 200"), "");
    const std::string svg = slurp("speed.svg");
    EXPECT_NE(svg.find("viewBox=\"0 0 300 200\""), std::string::npos) << svg.substr(0, 400);
    EXPECT_NE(svg.find(SpeedChart::translationColor().name().toStdString()), std::string::npos);
}

}  // namespace

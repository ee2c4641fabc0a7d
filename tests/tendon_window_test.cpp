// tendon itself, end to end: the test build (same sources, virtual clock)
// runs in a scratch lab directory on the test run's X display and is worked
// with xdotool. It reports the statuses it shows, the places of its
// controls and, at exit, whether it left the cards open (test_probe.h).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "notebook/notebook.h"
#include "runfiles/catalogue.h"

// Last: Xlib's macros (None, Status, ...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

void Run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The arm mesh and an empty NeuralFiles/; with `withRunInputs` also the
// demo networks of all ten kinds and a sine trajectory.
void PrepareLab(bool withRunInputs) {
    Run(std::string(MAKE_ARM_MESH) + " > /dev/null");
    std::filesystem::create_directory("NeuralFiles");
    if (withRunInputs) {
        Run(std::string(MAKE_DEMO_DATA) + " --samples 6 . > /dev/null");
        Run(std::string(MAKE_DEMO_NETWORKS) + " --dir . > /dev/null");
        Run(std::string(TRAJGEN) + " --sine > /dev/null");
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int LineCount(const std::string& path) {
    const std::string text = ReadFile(path);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<int> StatusesShown() {
    std::vector<int> statuses;
    std::ifstream in("tendon-status.txt");
    for (int status; in >> status;) {
        statuses.push_back(status);
    }
    return statuses;
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// What tendon-places.txt says; screen coordinates, origin at the top left,
// except the view port (GL, origin at the window's bottom left).
struct Places {
    Rect window, viewport, rightPanel, bottomPanel;
    float aspect = 0.0f;
    std::vector<int> counts;     // the readout's encoder counts
    std::string message;         // what the message line shows
    std::vector<Rect> controls;  // entry k at index k - 1
    std::vector<std::string> labels;

    static Places Read() {
        Places places;
        std::istringstream in(ReadFile("tendon-places.txt"));
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string kind;
            fields >> kind;
            Rect rect;
            if (kind == "window") {
                fields >> places.window.x >> places.window.y >> places.window.w >> places.window.h;
            } else if (kind == "viewport") {
                fields >> places.viewport.x >> places.viewport.y >> places.viewport.w >>
                    places.viewport.h >> places.aspect;
            } else if (kind == "panel") {
                std::string side;
                fields >> side >> rect.x >> rect.y >> rect.w >> rect.h;
                (side == "right" ? places.rightPanel : places.bottomPanel) = rect;
            } else if (kind == "counts") {
                for (int count; fields >> count;) {
                    places.counts.push_back(count);
                }
            } else if (kind == "message") {
                fields.get();  // the blank before the text
                std::getline(fields, places.message);
            } else if (kind == "control") {
                int number = 0;
                fields >> number >> rect.x >> rect.y >> rect.w >> rect.h;
                fields.get();  // the blank before the label
                std::string label;
                std::getline(fields, label);
                places.controls.push_back(rect);
                places.labels.push_back(label);
            }
        }
        return places;
    }
};

// One tendon process; killed if a test leaves it running.
class Tendon {
  public:
    Tendon() {
        posix_spawn_file_actions_t output;
        posix_spawn_file_actions_init(&output);
        posix_spawn_file_actions_addopen(&output, STDOUT_FILENO, "tendon-out.txt",
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&output, STDOUT_FILENO, STDERR_FILENO);
        char program[] = TENDON_VIRTUAL;
        char* argv[] = {program, nullptr};
        started_ = posix_spawn(&pid_, program, &output, nullptr, argv, environ) == 0;
        posix_spawn_file_actions_destroy(&output);
    }
    ~Tendon() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Tendon(const Tendon&) = delete;
    Tendon& operator=(const Tendon&) = delete;

    // Waits until the panels have laid out all their controls and the
    // layout holds still.
    bool Settle() {
        const bool placed = started_ && WaitFor([] {
                                const Places places = Places::Read();
                                return places.controls.size() == 42 && places.controls[36].w > 0 &&
                                       places.controls[41].w > 0;
                            });
        if (!placed) {
            return false;
        }
        for (std::string layout; layout != ReadFile("tendon-places.txt");) {
            layout = ReadFile("tendon-places.txt");
            WaitIdle();
        }
        return true;
    }
    const Places& places() const { return places_; }

    // Clicks near the left end of control k (1 to 37: the control panel's
    // entries, 38 to 42: the view panel's), where its box or button is, and
    // gives the panel time to see press and release as one click.
    void Click(int k) {
        const Rect& control = places_.controls.at(k - 1);
        Xdotool("mousemove --sync " + std::to_string(control.x + 6) + " " +
                std::to_string(control.y + control.h / 2) + " click 1");
        std::this_thread::sleep_for(150ms);
    }

    // Types a key over the view.
    void Key(const char* key) { Xdotool("mousemove --sync 300 300 key " + std::string(key)); }

    // Waits until the main loop has been idle long enough to rewrite the
    // places twice (it does so only while no action runs).
    void WaitIdle() {
        std::this_thread::sleep_for(100ms);
        for (int rewrites = 0; rewrites < 2; ++rewrites) {
            const auto written = LastWrite();
            ASSERT_TRUE(WaitFor([&] { return LastWrite() != written; }));
        }
        places_ = Places::Read();
    }

    // Waits until `count` statuses have been shown.
    bool WaitForStatuses(std::size_t count) {
        return WaitFor([count] { return StatusesShown().size() >= count; });
    }

    // The exit status once the process has ended; -1 if it did not end.
    int WaitForExit() {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
        if (!ended) {
            return -1;
        }
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Works the lab's emergency stop from outside, as lab-estop does.
    void PressStop() { kill(pid_, SIGUSR1); }
    void ReleaseStop() { kill(pid_, SIGUSR2); }
    // Releases the stop, has the view redrawn (a frame reads the stop again)
    // and returns what the message line shows then.
    std::string MessageAfterRelease() {
        ReleaseStop();
        Key("space");
        WaitIdle();
        return places_.message;
    }

    void Resize(int width, int height) {
        Xdotool("search --name '^Tendon$' windowsize %@ " + std::to_string(width) + " " +
                std::to_string(height));
    }

  private:
    template <typename Done>
    static bool WaitFor(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    static std::filesystem::file_time_type LastWrite() {
        std::error_code error;
        return std::filesystem::last_write_time("tendon-places.txt", error);
    }

    static void Xdotool(const std::string& arguments) { Run("xdotool " + arguments); }

    pid_t pid_ = 0;
    bool started_ = false;
    Places places_;
};

// The screen's pixels inside the view port.
std::vector<unsigned long> ViewPixels(const Places& places) {
    std::vector<unsigned long> pixels;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return pixels;
    }
    const Rect& view = places.viewport;
    const int top = places.window.y + places.window.h - view.y - view.h;
    XImage* image = XGetImage(display, DefaultRootWindow(display), places.window.x + view.x, top,
                              view.w, view.h, AllPlanes, ZPixmap);
    if (image != nullptr) {
        for (int y = 0; y < view.h; ++y) {
            for (int x = 0; x < view.w; ++x) {
                pixels.push_back(XGetPixel(image, x, y));
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixels;
}

std::map<std::string, std::string> CardsAtExit() {
    std::map<std::string, std::string> cards;
    std::istringstream in(ReadFile("tendon-exit.txt"));
    for (std::string line; std::getline(in, line);) {
        const auto state = line.rfind(' ');
        cards[line.substr(0, state)] = line.substr(state + 1);
    }
    return cards;
}

const std::map<std::string, std::string> kCardsOpen = {
    {"motion card", "open"}, {"pressure input", "open"}, {"valve output", "open"}};
const std::map<std::string, std::string> kCardsClosed = {
    {"motion card", "closed"}, {"pressure input", "closed"}, {"valve output", "closed"}};

// Entries of the control panel by their place in it.
enum Entry {
    kSineWave = 4,
    kOnlyNeural = 8,
    kHybrid = 9,
    kUseMethod = 11,
    kGoHome = 12,
    kManualMovement = 13,
    kCommandMotor1 = 17,
    kGenerateTrajectory = 27,
    kStartAction = 29,
    kResetCards = 31,
    kQuit = 37,
};

// Every control's label, byte for byte, in the panels' order.
// clang-format off
const std::vector<std::string> kLabels = {
    "Trajectory", "Frequency:", "Amplitude:", "The Sine Wave", "The Ramp Wave", "The Step Wave",
    "Methods", "Only-Neural Networks", "Neural-Fuzzy Hybrid",
    "Set Action", "Use Method", "Go Home", "Manual Movement",
    "Manual Movement", "Voltage:", "Duration:",
        "Command Motor 1", "Command Motor 2", "Command Motor 3",
    "Manual Pressure", "Voltage:",
        "Command Rubbertuator 1", "Command Rubbertuator 2", "Command Rubbertuator 3",
        "Command Rubbertuator 4",
    "", "Generate Trajectory", "", "  Start Action!  ", "", "  Reset Cards  ",
    "", "", "", "", "", "Quit & Close Cards",
    "Rotate Robot View", "Translate View XY", "Translate View X", "Translate View Y",
    "Translate View Z"};
// clang-format on

class TendonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display";
        }
    }
};

TEST_F(TendonTest, ComesUpWithBothPanelsGeneratesTheSineTrajectoryAndKeepsItsLayoutOnReshape) {
    PrepareLab(false);
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    EXPECT_EQ(tendon.places().labels, kLabels);

    tendon.Click(kSineWave);
    tendon.Click(kGenerateTrajectory);
    ASSERT_TRUE(tendon.WaitForStatuses(3));
    tendon.WaitIdle();
    EXPECT_EQ(StatusesShown(), (std::vector<int>{5, 4, 0}));
    EXPECT_EQ(LineCount(runfiles::kVelocityTrajectory.RelativePath()), 1331);
    EXPECT_EQ(LineCount(runfiles::kEncoderTrajectory.RelativePath()), 1332);
    EXPECT_EQ(LineCount(runfiles::kDynamicTerms.RelativePath()), 1329);

    // The control panel along the right edge at full height, the view
    // panel under the view; the view port is what they leave.
    for (const auto& [width, height] : {std::pair{1024, 720}, std::pair{800, 700}}) {
        SCOPED_TRACE(width);
        if (width != 1024) {
            const float aspectBefore = tendon.places().aspect;
            tendon.Resize(width, height);
            tendon.WaitIdle();
            EXPECT_NE(tendon.places().aspect, aspectBefore);
        }
        const Places& places = tendon.places();
        ASSERT_EQ(places.window.w, width);
        ASSERT_EQ(places.window.h, height);
        EXPECT_EQ(places.rightPanel.x + places.rightPanel.w, width);
        EXPECT_EQ(places.rightPanel.y, 0);
        EXPECT_EQ(places.rightPanel.h, height);
        EXPECT_EQ(places.bottomPanel.x, 0);
        EXPECT_EQ(places.bottomPanel.y + places.bottomPanel.h, height);
        EXPECT_EQ(places.bottomPanel.w, places.rightPanel.x);
        EXPECT_EQ(places.viewport.x, 0);
        EXPECT_EQ(places.viewport.y, places.bottomPanel.h);
        EXPECT_EQ(places.viewport.w, places.rightPanel.x);
        EXPECT_EQ(places.viewport.h, height - places.bottomPanel.h);
        EXPECT_FLOAT_EQ(places.aspect, static_cast<float>(places.viewport.w) /
                                           static_cast<float>(places.viewport.h));
    }

    tendon.Key("Escape");
    EXPECT_EQ(tendon.WaitForExit(), 0);
    EXPECT_EQ(CardsAtExit(), kCardsOpen);
    const std::string output = ReadFile("tendon-out.txt");
    const auto version = output.find("Using GLUI version: 2.01\n");
    ASSERT_NE(version, std::string::npos) << output;
    EXPECT_GE(std::count(output.begin(), output.begin() + version, '\n'), 4);
}

TEST_F(TendonTest, StartActionRunsEveryTickedActionInOrderAndQuitClosesTheCards) {
    PrepareLab(true);
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    for (const Entry box : {kGoHome, kManualMovement, kUseMethod, kOnlyNeural, kHybrid}) {
        tendon.Click(box);
    }
    tendon.WaitIdle();
    EXPECT_TRUE(StatusesShown().empty()) << "a check box started something";

    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(16));
    tendon.WaitIdle();
    // Go home, manual movement, the neural-only run, the hybrid run.
    EXPECT_EQ(StatusesShown(), (std::vector<int>{1, 4, 0, 6, 4, 0, 1, 4, 2, 4, 0, 1, 4, 3, 4, 0}));
    // The hybrid run came last: its log replaced the neural-only run's.
    EXPECT_EQ(LineCount(runfiles::kRunLog.RelativePath()), 1329 - 4);
    // The notebook kept both runs, the neural-only run's log included.
    std::string problem;
    const auto runs = notebook::List(".", {}, problem);
    ASSERT_TRUE(runs) << problem;
    ASSERT_EQ(runs->size(), 2u);
    EXPECT_EQ((*runs)[0].action, "tendon neural");
    EXPECT_EQ((*runs)[1].action, "tendon hybrid");
    const auto neural = notebook::Show(".", (*runs)[0].id, problem);
    ASSERT_TRUE(neural) << problem;
    EXPECT_EQ(neural->outputs.size(), 4u);
    EXPECT_EQ(neural->figures.size(), 4u);  // samples, both RMS, saturated samples

    tendon.Click(kQuit);
    EXPECT_EQ(tendon.WaitForExit(), 0);
    EXPECT_EQ(CardsAtExit(), kCardsClosed);
}

TEST_F(TendonTest, StartWithNothingTickedAndResetCardsChangeNeitherStatusNorView) {
    PrepareLab(false);
    // Without sensor noise, so that the pressure readouts hold still.
    std::ofstream("virtual-lab.toml") << "[sensors]\npressure_noise_bar = 0\n";
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    // Move the carriage by hand, so that the readouts show counts a reset
    // of the counters would lose.
    tendon.Click(kManualMovement);
    tendon.Click(kCommandMotor1);
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(3));
    tendon.WaitIdle();
    const std::vector<unsigned long> before = ViewPixels(tendon.places());
    ASSERT_FALSE(before.empty());

    tendon.Click(kResetCards);
    tendon.WaitIdle();
    EXPECT_TRUE(ViewPixels(tendon.places()) == before) << "the view changed";

    tendon.Click(kManualMovement);
    tendon.Click(kCommandMotor1);
    tendon.Click(kStartAction);
    // A trajectory generated after it shows that the press was handled.
    tendon.Click(kGenerateTrajectory);
    ASSERT_TRUE(tendon.WaitForStatuses(6));
    EXPECT_EQ(StatusesShown(), (std::vector<int>{6, 4, 0, 5, 4, 0}));

    tendon.Key("q");
    EXPECT_EQ(tendon.WaitForExit(), 0);
    EXPECT_EQ(CardsAtExit(), kCardsOpen);
}

// The message line under the status: the stop while it is pressed, then
// what the stopped action left, until the next action starts. The status
// sequence stays the plain one.
TEST_F(TendonTest, AStopMidRunIsOnTheMessageLineUntilTheNextAction) {
    PrepareLab(true);
    std::ofstream("tendon-stop-at.txt") << "278\n";
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    tendon.Click(kUseMethod);
    tendon.Click(kHybrid);
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(5));
    tendon.WaitIdle();
    EXPECT_EQ(StatusesShown(), (std::vector<int>{1, 4, 3, 4, 0}));
    EXPECT_EQ(tendon.places().message, "Emergency stop pressed");
    const std::string stopped = "Run stopped by the emergency stop at sample 278 of 1325";
    EXPECT_NE(ReadFile("tendon-out.txt").find(stopped + "\n"), std::string::npos);

    EXPECT_EQ(tendon.MessageAfterRelease(), stopped);

    tendon.Click(kGenerateTrajectory);
    ASSERT_TRUE(tendon.WaitForStatuses(8));
    tendon.WaitIdle();
    EXPECT_EQ(tendon.places().message, "");
    tendon.Key("q");
    EXPECT_EQ(tendon.WaitForExit(), 0);
}

TEST_F(TendonTest, GoHomeWithTheStopPressedLeavesTheCountsAndSaysSo) {
    PrepareLab(false);
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    // The carriage moved off its zero by hand.
    tendon.Click(kManualMovement);
    tendon.Click(kCommandMotor1);
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(3));
    tendon.WaitIdle();
    const std::vector<int> before = tendon.places().counts;
    ASSERT_EQ(before.size(), 5u);
    ASSERT_NE(before[0], 0);

    tendon.Click(kManualMovement);
    tendon.Click(kGoHome);
    tendon.PressStop();
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(6));
    tendon.WaitIdle();
    EXPECT_EQ(StatusesShown(), (std::vector<int>{6, 4, 0, 1, 4, 0}));
    const std::vector<int> after = tendon.places().counts;
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(std::vector<int>(after.begin(), after.begin() + 3),
              std::vector<int>(before.begin(), before.begin() + 3));
    EXPECT_EQ(tendon.places().message, "Emergency stop pressed");
    EXPECT_NE(ReadFile("tendon-out.txt").find("Homing stopped: encoders not zeroed\n"),
              std::string::npos);

    EXPECT_EQ(tendon.MessageAfterRelease(), "Homing stopped: encoders not zeroed");

    // A trajectory file that cannot be written replaces it.
    std::filesystem::create_directory(runfiles::kDynamicTerms.RelativePath());
    tendon.Click(kGenerateTrajectory);
    ASSERT_TRUE(tendon.WaitForStatuses(9));
    tendon.WaitIdle();
    EXPECT_EQ(tendon.places().message, "Trajectory not written completely");
    tendon.Key("q");
    EXPECT_EQ(tendon.WaitForExit(), 0);
}

TEST_F(TendonTest, ARunThatCannotStartNamesTheFileAndKeepsTheEarlierLogs) {
    PrepareLab(true);
    Tendon tendon;
    ASSERT_TRUE(tendon.Settle());
    tendon.Click(kUseMethod);
    tendon.Click(kHybrid);
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(5));
    tendon.WaitIdle();
    EXPECT_EQ(tendon.places().message, "");  // a plain completion says nothing
    const char* logs[] = {runfiles::kRunLog.RelativePath(), runfiles::kRunEncoderLog.RelativePath(),
                          runfiles::kRunPressureLog.RelativePath()};
    std::vector<std::string> before;
    for (const char* log : logs) {
        before.push_back(ReadFile(log));
    }
    ASSERT_EQ(LineCount(logs[0]), 1329 - 4);

    std::filesystem::remove(runfiles::kValveWeights.Path(3));
    tendon.Click(kStartAction);
    ASSERT_TRUE(tendon.WaitForStatuses(10));
    tendon.WaitIdle();
    EXPECT_EQ(StatusesShown(), (std::vector<int>{1, 4, 3, 4, 0, 1, 4, 3, 4, 0}));
    const std::string refused =
        "Run not started: " + runfiles::kValveWeights.Name(3) + " did not load";
    EXPECT_EQ(tendon.places().message, refused);
    EXPECT_NE(ReadFile("tendon-out.txt").find(refused + "\n"), std::string::npos);
    for (std::size_t k = 0; k < before.size(); ++k) {
        EXPECT_TRUE(ReadFile(logs[k]) == before[k]) << logs[k] << " changed";
    }
    tendon.Key("q");
    EXPECT_EQ(tendon.WaitForExit(), 0);
}

// Pixels of the message line's colour in the strip under the status of a
// picture of the whole window; -1 when the picture cannot be read.
int MessagePixels(const std::string& png) {
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr) {
        return -1;
    }
    int count = 0;
    for (int y = 545; y < 585 && y < height; ++y) {
        for (int x = 20; x < 400 && x < width; ++x) {
            const unsigned char* p = pixels + 3 * (y * width + x);
            count += p[0] > 200 && p[1] > 80 && p[1] < 160 && p[2] < 140;
        }
    }
    stbi_image_free(pixels);
    return count;
}

TEST_F(TendonTest, TheScreenshotIsTheConsoleWithItsMessageLine) {
    PrepareLab(false);
    const std::string program = TENDON_VIRTUAL;
    ::Run(program + " --screenshot plain.png > /dev/null");
    ::Run(program + " --screenshot stopped.png --emergency-stop > /dev/null");
    EXPECT_EQ(MessagePixels("plain.png"), 0);
    EXPECT_GT(MessagePixels("stopped.png"), 100);
    EXPECT_FALSE(std::filesystem::exists("tendon-places.txt"));  // no reports

    EXPECT_EQ(std::system((program + " --help > help.txt").c_str()), 0);
    EXPECT_NE(ReadFile("help.txt").find("--screenshot FILE"), std::string::npos);
    EXPECT_NE(std::system((program + " --emergency-stop 2> error.txt").c_str()), 0);
    EXPECT_NE(ReadFile("error.txt").find("--emergency-stop goes with --screenshot"),
              std::string::npos);
}

}  // namespace

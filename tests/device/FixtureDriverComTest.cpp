// The test-fixture driver DLL as a host meets it: registered by regsvr32, created
// through COM in another process (kmx_com_host_probe), initialised against the
// virtual controller the environment variable describes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "TestSupport.h"

namespace {

constexpr char kControllerVariable[] = "VELTRIX_VIRTUAL_CONTROLLER";

class FixtureDriver : public ::testing::Test {
protected:
    static std::string DllPath() { return testsupport::BuildBinDirectory() + "\\..\\virtual\\Veltrix_KMX_ASIO.dll"; }

    void SetUp() override {
        ASSERT_NE(GetFileAttributesA(DllPath().c_str()), INVALID_FILE_ATTRIBUTES) << DllPath();
        ASSERT_TRUE(testsupport::Regsvr32(DllPath())) << "regsvr32 " << DllPath();
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        char file[MAX_PATH] = {};
        GetTempFileNameA(folder, "kmx", 0, file);
        m_output = file;
    }
    void TearDown() override {
        SetEnvironmentVariableA(kControllerVariable, nullptr);
        DeleteFileA(m_output.c_str());
        EXPECT_TRUE(testsupport::Regsvr32(DllPath(), true));
    }

    // Runs the probe host with the variable set (or unset for null) and returns what it wrote.
    std::string RunHost(const char* controllers) {
        SetEnvironmentVariableA(kControllerVariable, controllers);
        const std::string command =
            "\"" + testsupport::BuildBinDirectory() + "\\kmx_com_host_probe.exe\" \"" + m_output + "\"";
        EXPECT_EQ(testsupport::RunProgram(command), 0) << command;
        std::ifstream in(m_output);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_output;
};

TEST_F(FixtureDriver, AHostInAnotherProcessInitialisesItAndReadsTheChannelNames) {
    struct Case {
        const char* variable;
        const char* model;
    } cases[] = {{nullptr, "KMX-B7"}, {"KMX-NOVA", "KMX-NOVA"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable ? c.variable : "(default)");
        const std::string m = c.model;
        EXPECT_EQ(RunHost(c.variable), "init 1\n"
                                       "driver Veltrix KMX ASIO\n"
                                       "channels 2 in, 4 out\n"
                                       "out 0: " + m + " MASTER L (0)\n"
                                       "out 1: " + m + " MASTER R (0)\n"
                                       "out 2: " + m + " PHONES L (0)\n"
                                       "out 3: " + m + " PHONES R (0)\n"
                                       "in 0: " + m + " AUX/MIC L (0)\n"
                                       "in 1: " + m + " AUX/MIC R (0)\n");
    }
}

}  // namespace

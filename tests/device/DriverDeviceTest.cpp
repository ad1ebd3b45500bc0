// The driver object against a virtual controller: init, channel names, rates.
#include <gtest/gtest.h>

#include "ScopedDeviceSystem.h"
#include "TestSupport.h"
#include "VeltrixControllerASIO.h"
#include "VirtualController.h"

namespace {

class Driver {
public:
    Driver() : m_driver(new VeltrixControllerASIO(nullptr)) { m_driver->InnerAddRef(); }
    ~Driver() { m_driver->InnerRelease(); }
    VeltrixControllerASIO* operator->() const { return m_driver; }

private:
    VeltrixControllerASIO* m_driver;
};

TEST(DriverWithController, InitFindsTheControllerAndNamesItsChannels) {
    testsupport::ScratchSettings scratch;
    VirtualController controller;
    controller.Connect(ControllerModel::KmxB7);
    ScopedDeviceSystem scope(controller);
    Driver driver;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long in = 0, out = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(out, 4);
    const char* expected[2][4] = {{"KMX-B7 MASTER L", "KMX-B7 MASTER R", "KMX-B7 PHONES L", "KMX-B7 PHONES R"},
                                  {"KMX-B7 AUX/MIC L", "KMX-B7 AUX/MIC R", nullptr, nullptr}};
    for (int input = 0; input < 2; ++input)
        for (long c = 0; c < (input ? 2 : 4); ++c) {
            ASIOChannelInfo info = {};
            info.channel = c;
            info.isInput = input;
            ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
            EXPECT_STREQ(info.name, expected[input][c]);
        }
}

}  // namespace

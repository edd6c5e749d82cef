// A fixture for tests on a simulated machine: the test installs a machine,
// and every test ends with no simulator handle and no device information set
// open; the machine goes away afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_machine.h"

class SimMachineTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount()) << "a handle leaked";
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount()) << "a device information set leaked";
        sim::ResetMachine();
    }
    void Install(const sim::MachineDesc& machine) {
        std::string error;
        ASSERT_TRUE(sim::InstallMachine(machine, &error)) << error;
    }
};

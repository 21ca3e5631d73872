#pragma once
// A box server on the test port, no client left over from an earlier test, and one client that
// the test ends whatever happens.

#include "e2e/client_process.h"
#include "support/loopback_server.h"

#include <gtest/gtest.h>

namespace e2e {

class ServedClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, CountMarkedWindows()) << "a client is still running";
        ASSERT_TRUE(server.Start()) << "loopback port " << kBoxPort << " is taken";
    }
    void TearDown() override {
        client.Kill();
        server.Stop();
    }
    LoopbackServer server{kBoxPort};
    ClientProcess client;
};

} // namespace e2e

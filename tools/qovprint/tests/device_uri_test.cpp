// Device URIs into the library's opens.
#include <gtest/gtest.h>

#include "device_uri.h"

using qovprint::DeviceTarget;
using qovprint::parseDeviceUri;
using qovprint::Transport;

TEST(DeviceUri, EachSchemeAndItsParts) {
    DeviceTarget t;
    std::string error;
    ASSERT_TRUE(parseDeviceUri("socket://127.0.0.1:9101", &t, &error)) << error;
    EXPECT_EQ(t.transport, Transport::Network);
    EXPECT_EQ(t.host, "127.0.0.1");
    EXPECT_EQ(t.port, 9101);
    ASSERT_TRUE(parseDeviceUri("socket://localhost", &t, &error)) << error;
    EXPECT_EQ(t.host, "127.0.0.1");
    EXPECT_EQ(t.port, 9100);
    ASSERT_TRUE(parseDeviceUri("file:///tmp/out%20put.bin", &t, &error)) << error;
    EXPECT_EQ(t.transport, Transport::File);
    EXPECT_EQ(t.path, "/tmp/out put.bin");
    ASSERT_TRUE(parseDeviceUri("serial:///dev/ttyUSB0?baud=19200", &t, &error)) << error;
    EXPECT_EQ(t.transport, Transport::Serial);
    EXPECT_EQ(t.path, "/dev/ttyUSB0");
    EXPECT_EQ(t.baudIndex, 8);
    ASSERT_TRUE(parseDeviceUri("parallel:///dev/lp0", &t, &error)) << error;
    EXPECT_EQ(t.transport, Transport::Parallel);
    ASSERT_TRUE(parseDeviceUri("usb://pid_0123", &t, &error)) << error;
    EXPECT_EQ(t.transport, Transport::Usb);
    EXPECT_EQ(t.path, "pid_0123");
}

TEST(DeviceUri, RefusesWhatNoOpenCanTake) {
    DeviceTarget t;
    std::string error;
    for (const char* uri : {"socket://127.0.0.1:0", "socket://127.0.0.1:70000", "socket://:9100", "socket://h:x",
                            "file://relative", "file:///a%2", "file:///a%00b", "serial:///dev/ttyS0?baud=12345",
                            "ipp://printer/ipp/print", "dnssd://x"}) {
        error.clear();
        EXPECT_FALSE(parseDeviceUri(uri, &t, &error)) << uri;
        EXPECT_FALSE(error.empty()) << uri;
    }
}

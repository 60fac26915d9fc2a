#include "core/itf_error.h"
#include "core/network_interface.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk::core;

TEST(InterfaceType, TextsBothWays)
{
    struct Case
    {
        int value;
        const char* text;
    };
    const Case table[] = {{0, "unknown"}, {1, "usb"}, {2, "dmx"}, {3, "dali"}, {4, "dorvane"}, {5, "scpi"},
        {6, "spi"}, {7, "ble"}, {8, "tcp"}, {253, "default"}, {254, "virtual"}, {255, "all"}};
    for (const Case& c : table) {
        EXPECT_EQ(NetworkInterface::interfaceTypeToString(InterfaceType(c.value)), QLatin1String(c.text));
        EXPECT_EQ(NetworkInterface::interfaceTypeFromString(QString::fromLatin1(c.text).toUpper()), c.value);
    }
    for (int value : {9, 252, -1, 256})
        EXPECT_EQ(NetworkInterface::interfaceTypeToString(InterfaceType(value)), QStringLiteral("unknown"))
            << value;
    for (const char* text : {"dorvane_wy", "", "dali ", "usb2"})
        EXPECT_EQ(NetworkInterface::interfaceTypeFromString(QString::fromLatin1(text)), ITF_TYPE_UNKNOWN)
            << text;
    EXPECT_EQ(
        NetworkInterface::interfaceFamilyFromType(QStringLiteral("Dorvane_WY")), QStringLiteral("dorvane"));
    EXPECT_EQ(NetworkInterface::interfaceFamilyFromType(QStringLiteral("DMX")), QStringLiteral("dmx"));
}

TEST(ItfError, StatusCodeTexts)
{
    struct Case
    {
        int code;
        const char* text;
    };
    const Case table[] = {
        {0, "OK"},
        {-1, "Transfer failed."},
        {-12, "Too many retries."},
        {-13, "Unsupported feature."},
        {-14, "Unsupported parameter."},
        {-23, "USB hangup"},
        {-24, "Unknown error code -24"},
        {-25, "Unknown error code -25"},
        {-26, "Packet frame error"},
        {-27, "Uninitialised datastore, unable to write"},
        {-28, "Unknown error code -28"},
        {-49, "Unknown error code -49"},
        {-50, "Firmware error, checksum not correct"},
        {-56, "Firmware error, could not remove page"},
        {-57, "Unknown error code -57"},
        {-60, "Unknown error code -60"},
        {-99, "Unknown error code -99"},
        {-100, "Datapak error, data package doesn't a version file."},
        {-104, "Datapak error, application does not meet minimum version requirement of the data package"},
        {-105, "Unknown error code -105"},
        {-299, "Unknown error code -299"},
        {-300, "Parameter memory range error"},
        {-307, "Wystrel overrun error"},
        {-311, "Dorvane slave : Data not retrieved connected"},
        {-312, "Unknown error code 12"},
        {-320, "Unknown error code 20"},
        {-398, "Unknown error code 98"},
        {-399, "Unknown error code -399"},
        {1, "Unknown error code 1"},
    };
    for (const Case& c : table)
        EXPECT_EQ(itfErrorToString(c.code), QString::fromLatin1(c.text)) << c.code;
    EXPECT_EQ(dorvaneErrorToString(4), QStringLiteral("Dorvane master : Invalid nordhune index"));
    EXPECT_EQ(dorvaneErrorToString(-1), QStringLiteral("Unknown error code -1"));
    EXPECT_EQ(dorvaneErrorToItfError(7), -307);
}

TEST(NetworkInterface, CapabilitiesAndBootloaderProxyOwnership)
{
    QPointer<QObject> proxy = new QObject;
    {
        NetworkInterface itf(ITF_TYPE_DMX);
        EXPECT_EQ(itf.getInterfaceTypeString(), QStringLiteral("dmx"));
        EXPECT_EQ(itf.getParentDevice(), nullptr);
        itf.addCapability(ITF_CAP_FACTORY);
        itf.addCapability(ITF_CAP_FACTORY);
        EXPECT_TRUE(itf.hasCapability(ITF_CAP_FACTORY));
        EXPECT_FALSE(itf.hasCapability(ITF_CAP_DV2));
        itf.setBootloaderProxyInterface(proxy);
        EXPECT_EQ(itf.getBootloaderProxyInterface(), proxy.data());
    }
    EXPECT_TRUE(proxy.isNull());
}

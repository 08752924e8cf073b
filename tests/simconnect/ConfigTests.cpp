// SimConnect.cfg and registry ports, and the fallback order of an open.

#include "TestPeer.h"

#include "simconnect/ClientConfig.h"
#include "simconnect/ClientTransport.h"
#include "simconnect/SimConnect.h"

#include "../common/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace simconnect;

namespace {

const char* const PortKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Sets or removes a registry port value for the test's lifetime.
class RegistryPort {
public:
    RegistryPort(const char* name, const std::string& value) : name(name) {
        HKEY key;
        RegCreateKeyExA(HKEY_CURRENT_USER, PortKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
    ~RegistryPort() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, PortKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name);
            RegCloseKey(key);
        }
    }

private:
    const char* name;
};

// Runs the test in its own current directory and removes the files it wrote.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        oldDirectory = previous;
        SetCurrentDirectoryA(Narrow(folder.Path()).c_str());
        paths = ConfigFilePaths();
        ASSERT_EQ(paths.size(), 3u);
        for (const std::string& path : paths)
            ASSERT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES)
                << "a SimConnect.cfg is left in " << path;
    }
    void TearDown() override {
        for (const std::string& path : paths)
            DeleteFileA(path.c_str());
        SetCurrentDirectoryA(oldDirectory.c_str());
    }
    const std::string& CommonFile() const { return paths[0]; }
    const std::string& UserFile() const { return paths[1]; }
    const std::string& CurrentFile() const { return paths[2]; }

    TempFolder folder;
    std::string oldDirectory;
    std::vector<std::string> paths;
};

} // namespace

TEST_F(ConfigTest, KeysFollowTheirRules) {
    RegistryPort ipv4("SimConnect_Port_IPv4", "500");
    WriteFile(CommonFile(), "[SimConnect]\nProtocol=ipv4\nAddress=10.1.2.3\nMaxReceiveSize=65536\n"
                            "DisableNagle=1\n");
    WriteFile(CurrentFile(), "[SimConnect]\nProtocol=Bogus\nMaxReceiveSize=50000\n"
                             "DisableNagle=0\n");
    ClientConfig config;
    ReadClientConfig(0, config);
    EXPECT_EQ(config.protocol, ProtocolIPv4) << "lower case selects IPv4; unknown keeps it";
    EXPECT_EQ(config.address, "10.1.2.3");
    EXPECT_EQ(config.port, "500") << "an empty Port is filled from the registry";
    EXPECT_EQ(config.maxReceiveSize, 65536u) << "never lowered";
    EXPECT_FALSE(config.disableNagle) << "a later file turns it off";

    WriteFile(CommonFile(), "[SimConnect]\nProtocol=IPV4\nPort=600\nMaxReceiveSize=20000\n");
    WriteFile(CurrentFile(), "");
    ReadClientConfig(0, config);
    EXPECT_EQ(config.port, "600");
    EXPECT_EQ(config.maxReceiveSize, 41088u);

    WriteFile(CommonFile(), "[SimConnect]\nProtocol=pIpE\nMaxReceiveSize=-1\n");
    ReadClientConfig(0, config);
    EXPECT_EQ(config.protocol, ProtocolPipe);
    EXPECT_EQ(config.maxReceiveSize, 0xFFFFFFFFu);
}

TEST_F(ConfigTest, SectionForAConfigIndex) {
    EXPECT_EQ(CheckConfigSection(3), TransportNoSection);
    HANDLE handle = nullptr;
    EXPECT_EQ(SimConnect_Open(&handle, "x", nullptr, 0, nullptr, 3), E_INVALIDARG);
    EXPECT_EQ(handle, nullptr);

    WriteFile(CurrentFile(), "[SimConnect.3]\nProtocol=IPv6\nPort=700\n");
    EXPECT_EQ(CheckConfigSection(3), 0);
    EXPECT_EQ(CheckConfigSection(0), 0);
    EXPECT_EQ(CheckConfigSection(0xFFFFFFFF), 0);
    ClientConfig config;
    ReadClientConfig(3, config);
    EXPECT_EQ(config.protocol, ProtocolIPv6);
    EXPECT_EQ(config.port, "700");
    ReadClientConfig(0, config);
    EXPECT_EQ(config.protocol, ProtocolPipe) << "index 0 reads only [SimConnect]";
}

void ExpectOpenPacket(TestPeer& peer) {
    ASSERT_TRUE(peer.Accept());
    std::vector<uint8_t> open = peer.Read(296);
    ASSERT_EQ(open.size(), 296u);
    EXPECT_EQ(ReadU32(open, 0), 296u);
    EXPECT_EQ(ReadU32(open, 4), 5u);
    EXPECT_EQ(ReadU32(open, 8), 0xF0000001u);
    EXPECT_EQ(ReadU32(open, 12), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(open.data() + 16), "Brackenfold test");
    const uint32_t words[6] = {0, 0x004B4800, 11, 0, 62651, 3};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ReadU32(open, 272 + 4 * i), words[i]);
    EXPECT_EQ(open[276], 0x00);
    EXPECT_EQ(open[277], 0x48);
    EXPECT_EQ(open[278], 0x4B);
}

TEST_F(ConfigTest, FallbackReachesTheRegistryIPv4Port) {
    auto peer = MakeTcpPeer();
    RegistryPort ipv4("SimConnect_Port_IPv4", peer->Endpoint());
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Brackenfold test", nullptr, 0, nullptr, 0), S_OK);
    ASSERT_NE(handle, nullptr);
    ExpectOpenPacket(*peer);
    EXPECT_EQ(FromHandle(handle)->Kind(), KindSocket);
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

TEST_F(ConfigTest, ConfiguredPipeAndTheIndexThatReadsNoFile) {
    auto peer = MakePipePeer();
    WriteFile(CurrentFile(), "[SimConnect]\nProtocol=Pipe\nPort=" + peer->Endpoint() + "\n");
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(SimConnect_Open(&handle, "Brackenfold test", nullptr, 0, nullptr, 0xFFFFFFFF), E_FAIL)
        << "the default pipe is not served here";
    EXPECT_EQ(handle, nullptr);
    ASSERT_EQ(SimConnect_Open(&handle, "Brackenfold test", nullptr, 0, nullptr, 0), S_OK);
    ExpectOpenPacket(*peer);
    EXPECT_EQ(FromHandle(handle)->Kind(), KindPipe);
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

TEST_F(ConfigTest, AnotherMachineGetsOnePipeAttemptOnly) {
    auto peer = MakeTcpPeer();
    RegistryPort ipv6("SimConnect_Port_IPv4", peer->Endpoint());
    WriteFile(UserFile(), "[SimConnect]\nProtocol=Pipe\nAddress=nosuchhost\n");
    HANDLE handle = nullptr;
    EXPECT_EQ(SimConnect_Open(&handle, "x", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(peer->Available(), 0u);
}

// What a client may reach of the host's files through IPersistFile: nothing, unless the host was
// given a folder for them; then only plain file names inside it, never through a link.
#include "rpc/host_server.h"
#include "rpc/remote_activation.h"
#include "tests/platform/temp_folder.h"
#include "tests/simserver/server_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using simserver::test::Connect;
using simserver::test::ServerConnection;
using simserver::test::TakeString;

class HostFiles : public ::testing::Test {
protected:
    void TearDown() override {
        simserver::test::gServerComputer.clear();
        rpc::UninstallRemoteActivation();
    }

    // A host with `persistDir` (empty: none) and a server created on it.
    ServerConnection ConnectThroughHost(const std::string& persistDir) {
        simserver::RegisterSimulationServers();
        rpc::HostOptions options;
        options.port = 0;
        options.persistDir = persistDir;
        std::string error;
        EXPECT_TRUE(host_.Start(options, &error)) << error;
        rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
        simserver::test::gServerComputer = WideFromUtf8("127.0.0.1:" + std::to_string(host_.Port()));
        ServerConnection connection = Connect(simserver::kDefaultProgId);
        EXPECT_TRUE(connection.persist);
        return connection;
    }

    static HRESULT Load(const ServerConnection& c, const std::string& name) {
        return c.persist->Load(WideFromUtf8(name).c_str(), 0);
    }
    static HRESULT Save(const ServerConnection& c, const std::string& name, BOOL remember = TRUE) {
        return c.persist->Save(WideFromUtf8(name).c_str(), remember);
    }

    TempFolder folder_;   // the host's persist folder
    TempFolder outside_;  // somewhere else on the disk
    rpc::HostServer host_;
};

TEST_F(HostFiles, WithoutAFolderAClientCanNeitherLoadNorSave) {
    const ServerConnection c = ConnectThroughHost("");
    ASSERT_TRUE(c.persist);
    const std::string target = outside_ / "written.opcsim";
    const std::string existing = outside_ / "existing.opcsim";
    TempFolder::Write(existing, "Writable.I4\t3\t42\n");

    EXPECT_EQ(Save(c, target), E_ACCESSDENIED);
    EXPECT_EQ(Save(c, "plain.opcsim"), E_ACCESSDENIED);
    EXPECT_EQ(c.persist->Save(nullptr, TRUE), E_ACCESSDENIED);
    EXPECT_EQ(Load(c, existing), E_ACCESSDENIED);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists("plain.opcsim"));
    // The server's own proposal, which names no file of the host.
    LPOLESTR name = nullptr;
    EXPECT_EQ(c.persist->GetCurFile(&name), S_FALSE);
    EXPECT_EQ(TakeString(name), "Simulation.opcsim");
}

TEST_F(HostFiles, OnlyPlainNamesOfRegularFilesInsideTheFolderAreReached) {
    const ServerConnection c = ConnectThroughHost(folder_.path());
    ASSERT_TRUE(c.persist);
    const std::string secret = outside_ / "secret.opcsim";
    TempFolder::Write(secret, "Writable.I4\t3\t7\n");
    std::filesystem::create_symlink(secret, folder_ / "link.opcsim");
    std::filesystem::create_symlink(outside_ / "dangling.opcsim", folder_ / "dangling.opcsim");
    std::filesystem::create_directory(folder_ / "sub");
    ASSERT_EQ(::mkfifo((folder_ / "fifo.opcsim").c_str(), 0600), 0);
    std::filesystem::create_hard_link(secret, folder_ / "hard.opcsim");

    const std::string refused[] = {secret,          "../secret.opcsim", "sub/x.opcsim", "..",         ".",
                                   "",              "sub",              "link.opcsim",  "fifo.opcsim", "a\nb",
                                   std::string(256, 'x'), "dangling.opcsim"};
    for (const std::string& name : refused) {
        EXPECT_EQ(Save(c, name), E_ACCESSDENIED) << name;
        EXPECT_EQ(Load(c, name), E_ACCESSDENIED) << name;
    }
    EXPECT_EQ(Save(c, "hard.opcsim"), E_ACCESSDENIED);
    EXPECT_EQ(TempFolder::Read(secret), "Writable.I4\t3\t7\n") << "a link is never written through";
    EXPECT_FALSE(std::filesystem::exists(outside_ / "dangling.opcsim"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "sub/x.opcsim"));
    EXPECT_EQ(Load(c, "missing.opcsim"), STG_E_FILENOTFOUND);
    EXPECT_EQ(c.persist->Save(nullptr, TRUE), E_INVALIDARG) << "no current file yet";
}

TEST_F(HostFiles, APlainNameIsLoadedSavedAndShownAsItself) {
    const ServerConnection c = ConnectThroughHost(folder_.path());
    ASSERT_TRUE(c.persist);
    TempFolder::Write(folder_ / "start.opcsim", "Writable.I4\t3\t42\n");
    ASSERT_EQ(Load(c, "start.opcsim"), S_OK);
    LPOLESTR name = nullptr;
    ASSERT_EQ(c.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), "start.opcsim");

    ASSERT_EQ(Save(c, "copy.opcsim", FALSE), S_OK);
    EXPECT_NE(TempFolder::Read(folder_ / "copy.opcsim").find("Writable.I4\t3\t42"), std::string::npos);
    ASSERT_EQ(c.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), "start.opcsim") << "a copy does not become the current file";

    // An existing file is replaced whole, and no name saves to the current file.
    TempFolder::Write(folder_ / "plant.opcsim", std::string(10000, '#'));
    ASSERT_EQ(Save(c, "plant.opcsim"), S_OK);
    EXPECT_EQ(TempFolder::Read(folder_ / "plant.opcsim"), TempFolder::Read(folder_ / "copy.opcsim"));
    std::filesystem::remove(folder_ / "plant.opcsim");
    ASSERT_EQ(c.persist->Save(nullptr, TRUE), S_OK);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "plant.opcsim"));
    ASSERT_EQ(c.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), "plant.opcsim");
}

TEST(HostFilesOption, AFolderThatCannotBeOpenedStopsTheStart) {
    rpc::HostServer host;
    rpc::HostOptions options;
    options.port = 0;
    options.persistDir = "/nonexistent-folder-of-the-test";
    std::string error;
    EXPECT_FALSE(host.Start(options, &error));
    EXPECT_NE(error.find("/nonexistent-folder-of-the-test"), std::string::npos) << error;
}

}  // namespace

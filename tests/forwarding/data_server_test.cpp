#include "forwarding/data_server.h"

#include "frames.h"
#include "opc/client/item_address_registry.h"
#include "peer.h"
#include "platform/com/hresult.h"
#include "registered_items.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Write {
    std::string itemId;
    std::string text;
    bool operator==(const Write&) const = default;
};

class DataServer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        server = std::make_unique<CDataServer>(CItemAddressRegistry::Instance());
        server->SetMessageBox([this](const std::string& text) { messages.push_back(text); });
        server->SetItemWriter([this](CVItem& item, const std::string& text) {
            writes.push_back({item.itemId, text});
            return S_OK;
        });
        ASSERT_TRUE(server->StartServer(0));
        ASSERT_NE(server->Port(), 0);
        items.Add(1, VT_I4, I4(100));
        items.Add(2, VT_I2, MakeVariant(VT_I2, [](VARIANT& v) { v.iVal = -3; }), 0x40);
        items.Add(3, VT_R4, R4(2.5f));
    }
    void TearDown() override { server.reset(); }

    std::unique_ptr<Peer> Connect(int receiveBuffer = 0) {
        auto peer = std::make_unique<Peer>(server->Port(), receiveBuffer);
        const std::size_t before = server->ConnectionCount();
        EXPECT_TRUE(WaitFor([&] { return server->ConnectionCount() > before; }));
        return peer;
    }

    // The reply to a read of addresses 1 to 3.
    static Bytes ReplyForOneToThree() {
        return ReplyBytes(3, {1, 0, 0x86, 100, 0, 0, 0, 2, 0, 0x04, 0xFD, 0xFF, 3, 0, 0x88, 0x00, 0x00, 0x20, 0x40});
    }

    RegisteredItems items;
    std::unique_ptr<CDataServer> server;
    std::vector<std::string> messages;
    std::vector<Write> writes;
};

}  // namespace

TEST_F(DataServer, AnswersAReadRequestWithExactlyOneReply) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send(ReadRequestBytes(1, 3)));
    EXPECT_EQ(peer->ReadFrame(), ReplyForOneToThree());
    ASSERT_TRUE(peer->Send(ReadRequestBytes(0, 0)));
    EXPECT_EQ(peer->ReadFrame(), ReplyBytes(0, {}));
    EXPECT_EQ(peer->Unread(), 0u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DataServer, WritesReachTheItemAndAreNeverAnswered) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Send(Concat({
        WriteRequestBytes(3, 8, {0x00, 0x00, 0x20, 0x40}),
        WriteRequestBytes(1, 6, {0xFF, 0xFF, 0xFF, 0xFF}),
        WriteRequestBytes(2, 0, {}),
        WriteRequestBytes(999, 3, {1}),  // nobody there
        ReadRequestBytes(1, 3),
    })));
    EXPECT_EQ(peer->ReadFrame(), ReplyForOneToThree());  // the first bytes back answer the read
    EXPECT_EQ(peer->Unread(), 0u);
    EXPECT_EQ(writes, (std::vector<Write>{{"Tag3", "2.500000"}, {"Tag1", "-1"}, {"Tag2", ""}}));
}

TEST_F(DataServer, IgnoresMalformedFramesAndKeepsTheConnection) {
    // The bad frames ask for address 2 alone: a reply to one of them would show.
    Bytes wrongMagic = ReadRequestBytes(2, 1);
    wrongMagic[1] = 0x48;
    struct Case {
        const char* name;
        Bytes bad;
    };
    const Case cases[] = {
        {"wrong magic", wrongMagic},
        {"length 40", ReadRequestBytes(2, 1, 40)},
        {"code 10", WriteRequestBytes(2, 10, {1, 2, 3, 4, 5, 6, 7, 8}, 12)},
        {"code with bit 7 set", WriteRequestBytes(2, 0x86, {1, 2, 3, 4}, 16)},
    };
    auto peer = Connect();
    for (const Case& c : cases) {
        ASSERT_TRUE(peer->Send(c.bad)) << c.name;
        ASSERT_TRUE(peer->Send(ReadRequestBytes(1, 3))) << c.name;
        EXPECT_EQ(peer->ReadFrame(), ReplyForOneToThree()) << c.name;
        EXPECT_EQ(peer->Unread(), 0u) << c.name;
    }
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(server->ConnectionCount(), 1u);
}

TEST_F(DataServer, AnswersPaddedFramesAndForeignTrailersOnce) {
    Bytes foreignTrailer = ReadRequestBytes(1, 3);
    foreignTrailer[9] = 'X';
    foreignTrailer[12] = 0x7F;
    // The padding is itself a read request: answering it would show.
    const Bytes padded = Concat({ReadRequestBytes(1, 3, 26), ReadRequestBytes(1, 1)});
    auto peer = Connect();
    for (const Bytes& frame : {foreignTrailer, padded}) {
        ASSERT_TRUE(peer->Send(frame));
        EXPECT_EQ(peer->ReadFrame(), ReplyForOneToThree());
        ASSERT_TRUE(peer->Send(ReadRequestBytes(0, 0)));  // the next reply is this one's
        EXPECT_EQ(peer->ReadFrame(), ReplyBytes(0, {}));
        EXPECT_EQ(peer->Unread(), 0u);
    }
}

TEST_F(DataServer, ReassemblesSplitAndCoalescedRequests) {
    auto peer = Connect();
    const Bytes request = ReadRequestBytes(1, 3);
    for (std::uint8_t byte : request) {
        ASSERT_TRUE(peer->Send({byte}));
        QCoreApplication::processEvents();  // loopback bytes are there at once: one receive each
    }
    EXPECT_EQ(peer->ReadFrame(), ReplyForOneToThree());

    ASSERT_TRUE(peer->Send(Concat({ReadRequestBytes(1, 1), ReadRequestBytes(3, 1), ReadRequestBytes(5, 1)})));
    EXPECT_EQ(peer->ReadFrame(), ReplyBytes(1, {1, 0, 0x86, 100, 0, 0, 0}));
    EXPECT_EQ(peer->ReadFrame(), ReplyBytes(1, {3, 0, 0x88, 0x00, 0x00, 0x20, 0x40}));
    EXPECT_EQ(peer->ReadFrame(), ReplyBytes(0, {}));
}

TEST_F(DataServer, ServesPeersIndependentlyAndForgetsThoseThatClose) {
    auto first = Connect();
    auto second = Connect();
    ASSERT_TRUE(first->Send(ReadRequestBytes(1, 1)));
    ASSERT_TRUE(second->Send(ReadRequestBytes(3, 1)));
    EXPECT_EQ(second->ReadFrame(), ReplyBytes(1, {3, 0, 0x88, 0x00, 0x00, 0x20, 0x40}));
    EXPECT_EQ(first->ReadFrame(), ReplyBytes(1, {1, 0, 0x86, 100, 0, 0, 0}));

    first->Close();
    EXPECT_TRUE(WaitFor([&] { return server->ConnectionCount() == 1; }));
    ASSERT_TRUE(second->Send(ReadRequestBytes(1, 3)));
    EXPECT_EQ(second->ReadFrame(), ReplyForOneToThree());
}

TEST_F(DataServer, ForgetsPeersWhoseRequestAndCloseArriveTogether) {
    const std::size_t descriptors = OpenDescriptors();
    constexpr int kPeers = 200;
    for (int i = 0; i < kPeers; ++i) {
        // The server runs only in the waits: each peer's request and close reach it together,
        // while the next peer is being accepted.
        Peer peer(server->Port());
        ASSERT_TRUE(WaitFor([&] { return server->ConnectionCount() == 1; }));
        ASSERT_TRUE(peer.Send(WriteRequestBytes(1, 6, {7, 0, 0, 0})));
        peer.Close();
    }
    EXPECT_TRUE(WaitFor([&] { return server->ConnectionCount() == 0; })) << server->ConnectionCount();
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(writes.size(), std::size_t{kPeers});
}

TEST_F(DataServer, DropsAPeerThatDoesNotReadItsReplies) {
    RegisteredItems many;
    for (int address = 100; address < 2100; ++address) many.Add(address, VT_R8, R8(address));
    auto reader = Connect();
    auto sluggard = Connect(4096);
    const Bytes request = ReadRequestBytes(100, 2000);  // a 22 kB reply each
    int sent = 0;
    // The server's unsent output passes its cap well before this many replies.
    while (server->ConnectionCount() == 2 && sent < 2000) {
        ASSERT_TRUE(sluggard->Send(request) || server->ConnectionCount() == 1);
        ++sent;
    }
    EXPECT_TRUE(WaitFor([&] { return server->ConnectionCount() == 1; })) << sent << " requests";
    EXPECT_TRUE(sluggard->WaitClosed());

    ASSERT_TRUE(reader->Send(ReadRequestBytes(1, 3)));
    EXPECT_EQ(reader->ReadFrame(), ReplyForOneToThree());
}

TEST_F(DataServer, AnswersEveryRequestOfABurstLongerThanOneTurnReads) {
    auto peer = Connect();
    constexpr int kRequests = 3000;  // 39 kB arriving at once: several full receive buffers
    Bytes burst;
    for (int i = 0; i < kRequests; ++i) {
        const Bytes request = ReadRequestBytes(1, 1);
        burst.insert(burst.end(), request.begin(), request.end());
    }
    ASSERT_TRUE(peer->Send(burst));
    const Bytes expected = ReplyBytes(1, {1, 0, 0x86, 100, 0, 0, 0});
    for (int i = 0; i < kRequests; ++i) ASSERT_EQ(peer->ReadFrame(), expected) << "reply " << i;
    EXPECT_EQ(peer->Unread(), 0u);
}

TEST_F(DataServer, FinishesQueuedRepliesWhenASlowPeerReadsAgain) {
    RegisteredItems many;
    for (int address = 100; address < 2100; ++address) many.Add(address, VT_R8, R8(address));
    auto peer = Connect(4096);
    // Requests of 22 kB replies until the kernel's buffers are full and replies wait with us.
    int sent = 0;
    for (bool waiting = false; !waiting && sent < 2000; ++sent) {
        ASSERT_TRUE(peer->Send(ReadRequestBytes(100, 2000)));
        waiting = WaitFor([&] { return server->UnsentOutput() > 0; }, std::chrono::milliseconds(2));
    }
    ASSERT_GT(server->UnsentOutput(), 0u) << sent << " requests";
    for (int i = 0; i < sent; ++i) {
        const Bytes reply = peer->ReadFrame();
        ASSERT_EQ(reply.size(), 11u + 2000u * 11u) << "reply " << i << " of " << sent;
        EXPECT_EQ(reply[5] | reply[6] << 8, 2000);
    }
    EXPECT_EQ(server->UnsentOutput(), 0u);
    EXPECT_EQ(server->ConnectionCount(), 1u);
}

TEST_F(DataServer, ReportsWhichStepFailed) {
    // A listener without address reuse holds the port.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);

    CDataServer second{CItemAddressRegistry::Instance()};
    std::vector<std::string> shown;
    second.SetMessageBox([&](const std::string& text) { shown.push_back(text); });
    EXPECT_FALSE(second.StartServer(ntohs(address.sin_port)));
    EXPECT_EQ(second.LastFailure(), CDataServer::StartFailure::kBind);
    EXPECT_EQ(shown, std::vector<std::string>{"绑定端口失败！"});
    EXPECT_EQ(second.Port(), 0);
    ::close(holder);

    EXPECT_STREQ(CDataServer::FailureText(CDataServer::StartFailure::kCreate), "创建SOCKET失败！");
    EXPECT_STREQ(CDataServer::FailureText(CDataServer::StartFailure::kListen), "监听失败！");
}

TEST_F(DataServer, RepliesStayWholeWhileServerThreadsUpdateValues) {
    std::atomic<bool> stop{false};
    std::atomic<bool> updating{false};
    CVItem* item = CItemAddressRegistry::Instance().FindByAddress(1);
    std::thread updater([&] {
        for (LONG n = 0; !stop; ++n) {
            item->SetValue(I4(n & 0x7F), n % 2 ? 0xC0 : 0x40);
            updating = true;
        }
    });
    // The item's first value (100, good) breaks the rule below: read once the updates run.
    ASSERT_TRUE(WaitFor([&] { return updating.load(); }));
    auto peer = Connect();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(peer->Send(ReadRequestBytes(1, 1)));
        const Bytes reply = peer->ReadFrame();
        ASSERT_EQ(reply.size(), 18u);
        // Odd values are delivered with good quality: a reply never mixes two deliveries.
        EXPECT_EQ(reply[9], reply[10] % 2 ? 0x86 : 0x06) << ::testing::PrintToString(reply);
        EXPECT_LT(reply[10], 0x80);
        EXPECT_EQ(Bytes(reply.begin() + 11, reply.begin() + 14), (Bytes{0, 0, 0}));
    }
    stop = true;
    updater.join();
}

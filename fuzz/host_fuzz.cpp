// What a hostile client can send to the server host. Each input picks a method of the lent
// object (its first byte) and the object it goes to (the second: the server or a group); the
// rest is read as a Cap'n Proto message holding that method's parameters, which are sent as
// they are over a real two-party connection to the host's own objects. Nothing may crash the
// host: every refusal is an HRESULT or an exception that the connection carries back.
#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "rpc/buffered_stream.h"
#include "rpc/call_pool.h"
#include "rpc/host_loop.h"
#include "rpc/persist_folder.h"
#include "rpc/wire_convert.h"
#include "simserver/server_registry.h"

#include <capnp/dynamic.h>
#include <capnp/rpc-twoparty.h>
#include <capnp/serialize.h>
#include <kj/async-io.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// The folder in which the fuzzed load and save calls may reach files, as a host started with
// --persist-dir has one; removed when the run ends.
std::shared_ptr<const rpc::PersistFolder> MakePersistFolder() {
    static std::string path = (std::filesystem::temp_directory_path() / "host-fuzz-XXXXXX").string();
    if (!::mkdtemp(path.data())) std::abort();
    std::atexit([] { std::filesystem::remove_all(path); });
    std::string error;
    auto folder = rpc::PersistFolder::Open(path, &error);
    if (!folder) std::abort();
    return folder;
}

struct Host final : kj::TaskSet::ErrorHandler {
    kj::AsyncIoContext io = kj::setupAsyncIo();
    rpc::HostContext context{std::make_shared<rpc::Mailbox>(), MakePersistFolder(), std::make_shared<rpc::CallPool>(2)};
    kj::TaskSet tasks{*this};
    kj::TwoWayPipe pipe = io.provider->newTwoWayPipe();
    rpc::BufferedStream hostEnd{kj::mv(pipe.ends[0])};  // as the host reads a connection
    capnp::TwoPartyVatNetwork network{hostEnd, capnp::rpc::twoparty::Side::SERVER};
    capnp::RpcSystem<capnp::rpc::twoparty::VatId> rpc = capnp::makeRpcServer(network, rpc::MakeHostEntry(context, std::make_shared<rpc::ConnectionBudget>(1000, 100)));
    capnp::TwoPartyClient client{*pipe.ends[1]};
    rpcwire::Object::Client server = nullptr;
    rpcwire::Object::Client group = nullptr;

    Host() {
        tasks.add(context.mailbox->Run(io.unixEventPort));
        simserver::RegisterSimulationServers();
        CLSID clsid;
        CLSIDFromProgID(WideFromUtf8(simserver::kDefaultProgId).c_str(), &clsid);
        auto host = client.bootstrap().castAs<rpcwire::Host>();
        auto create = host.createInstanceRequest();
        create.setClsid(rpc::WireBytes(clsid));
        server = create.send().wait(io.waitScope).getServer().getObject();
        auto add = server.addGroupRequest();
        add.setName("fuzz");
        add.setActive(true);
        add.setIid(rpc::WireBytes(IID_IOPCItemMgt));
        group = add.send().wait(io.waitScope).getGroup().getObject();
        auto items = group.addItemsRequest();
        auto defs = items.initItems(2);
        defs[0].setItemId("Random.Int4");
        defs[1].setItemId("Writable.BSTR");
        items.send().wait(io.waitScope);
    }
    void taskFailed(kj::Exception&&) override {}
};

Host& TheHost() {
    static Host* host = new Host();  // lives for the whole run
    return *host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Host& host = TheHost();
    const auto schema = capnp::Schema::from<rpcwire::Object>();
    const auto methods = schema.getMethods();
    const auto method = methods[data[0] % methods.size()];

    kj::Array<capnp::word> words = kj::heapArray<capnp::word>((size - 2 + sizeof(capnp::word) - 1) / sizeof(capnp::word));
    std::memset(words.begin(), 0, words.asBytes().size());
    std::memcpy(words.begin(), data + 2, size - 2);
    try {
        capnp::ReaderOptions options;
        options.traversalLimitInWords = 64 * 1024;
        capnp::FlatArrayMessageReader message(words, options);
        const auto params = message.getRoot<capnp::DynamicStruct>(method.getParamType());
        auto target = ((data[1] & 1) ? host.group : host.server).castAs<capnp::DynamicCapability>(schema);
        auto request = target.newRequest(method);
        for (auto field : method.getParamType().getFields())
            if (params.has(field)) request.set(field, params.get(field));
        request.send().ignoreResult().wait(host.io.waitScope);
    } catch (const kj::Exception&) {
        // Refused: the message did not parse, or the host answered with an exception.
    }
    // Let the host finish what the call set off (released objects, posted callbacks).
    host.io.provider->getTimer().afterDelay(0 * kj::MILLISECONDS).wait(host.io.waitScope);
    return 0;
}

// What a hostile client can send to the server host. An input is one call or a sequence of
// them. One call: a method of the lent object (the first byte), the object it goes to (the
// second: the server or a group), and the rest read as a Cap'n Proto message holding the
// method's parameters, sent as they are over a real two-party connection to the host's own
// objects. A sequence starts with 0xFF; each call in it is a method byte, a target byte, a
// 16-bit length and that many bytes of message, and may go to the objects earlier calls were
// lent (enumerators, clones, groups). A parameter that takes a sink gets a sink of the
// client's, so advised callbacks run too. Nothing may crash the host: every refusal is an
// HRESULT or an exception that the connection carries back.
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
#include <algorithm>
#include <cstring>
#include <vector>
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

// A client's sink that takes every callback and does nothing with it.
class QuietSink final : public rpcwire::Sink::Server {
protected:
    kj::Promise<void> shutdownRequest(ShutdownRequestContext) override { return kj::READY_NOW; }
    kj::Promise<void> onDataChange(OnDataChangeContext) override { return kj::READY_NOW; }
    kj::Promise<void> onReadComplete(OnReadCompleteContext) override { return kj::READY_NOW; }
    kj::Promise<void> onWriteComplete(OnWriteCompleteContext) override { return kj::READY_NOW; }
    kj::Promise<void> onCancelComplete(OnCancelCompleteContext) override { return kj::READY_NOW; }
    kj::Promise<void> onAdviseData(OnAdviseDataContext) override { return kj::READY_NOW; }
};

constexpr std::uint8_t kSequence = 0xFF;
constexpr std::size_t kMaxCalls = 16;
constexpr std::size_t kMaxLent = 16;  // objects lent by earlier calls of a sequence, newest kept

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

// The objects lent in a call's results (a Lent, or a list of them), newest last.
void CollectLent(capnp::DynamicStruct::Reader results, std::vector<rpcwire::Object::Client>& lent) {
    const auto lentId = capnp::typeId<rpcwire::Lent>();
    auto keep = [&](capnp::DynamicStruct::Reader one) {
        auto object = one.get("object").as<capnp::DynamicCapability>().as<rpcwire::Object>();
        lent.push_back(kj::mv(object));
        if (lent.size() > kMaxLent) lent.erase(lent.begin());
    };
    for (auto field : results.getSchema().getFields()) {
        if (!results.has(field)) continue;
        const auto type = field.getType();
        if (type.isStruct() && type.asStruct().getProto().getId() == lentId) {
            keep(results.get(field).as<capnp::DynamicStruct>());
        } else if (type.isList() && type.asList().getElementType().isStruct() &&
                   type.asList().getElementType().asStruct().getProto().getId() == lentId) {
            for (auto one : results.get(field).as<capnp::DynamicList>()) keep(one.as<capnp::DynamicStruct>());
        }
    }
}

// One call: `method` (any byte) to the object `target` picks, with the parameters in `bytes`.
void Call(Host& host, std::uint8_t methodByte, std::uint8_t targetByte, const std::uint8_t* bytes, std::size_t size,
          std::vector<rpcwire::Object::Client>& lent) {
    const auto schema = capnp::Schema::from<rpcwire::Object>();
    const auto methods = schema.getMethods();
    const auto method = methods[methodByte % methods.size()];
    kj::Array<capnp::word> words = kj::heapArray<capnp::word>((size + sizeof(capnp::word) - 1) / sizeof(capnp::word));
    std::memset(words.begin(), 0, words.asBytes().size());
    if (size > 0) std::memcpy(words.begin(), bytes, size);
    try {
        capnp::ReaderOptions options;
        options.traversalLimitInWords = 64 * 1024;
        capnp::FlatArrayMessageReader message(words, options);
        const auto params = message.getRoot<capnp::DynamicStruct>(method.getParamType());
        const std::size_t choice = targetByte % (2 + lent.size());
        rpcwire::Object::Client object = choice == 0 ? host.server : choice == 1 ? host.group : lent[choice - 2];
        auto target = object.castAs<capnp::DynamicCapability>(schema);
        auto request = target.newRequest(method);
        for (auto field : method.getParamType().getFields()) {
            if (field.getType().isInterface())
                request.set(field, capnp::toDynamic(kj::heap<QuietSink>()));
            else if (params.has(field))
                request.set(field, params.get(field));
        }
        auto response = request.send().wait(host.io.waitScope);
        CollectLent(response, lent);
    } catch (const kj::Exception&) {
        // Refused: the message did not parse, or the host answered with an exception.
    }
    // Let the host finish what the call set off (released objects, posted callbacks).
    host.io.provider->getTimer().afterDelay(0 * kj::MILLISECONDS).wait(host.io.waitScope);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Host& host = TheHost();
    std::vector<rpcwire::Object::Client> lent;
    if (data[0] != kSequence) {
        Call(host, data[0], data[1], data + 2, size - 2, lent);
        return 0;
    }
    std::size_t at = 1;
    for (std::size_t calls = 0; calls < kMaxCalls && at + 4 <= size; ++calls) {
        const std::size_t length = std::min<std::size_t>(data[at + 2] | (data[at + 3] << 8), size - at - 4);
        Call(host, data[at], data[at + 1], data + at + 4, length, lent);
        at += 4 + length;
    }
    lent.clear();
    host.io.provider->getTimer().afterDelay(0 * kj::MILLISECONDS).wait(host.io.waitScope);
    return 0;
}

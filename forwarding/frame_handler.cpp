#include "forwarding/frame_handler.h"

#include "forwarding/data_frame.h"
#include "opc/client/item_address_registry.h"

bool FrameHandler::HandleNext(std::vector<std::uint8_t>& out) {
    const std::optional<Request> request = reader_.Next();
    if (!request) return false;
    if (const auto* read = std::get_if<ReadRequest>(&*request))
        BuildDataFrame(registry_, read->first, read->count, out);
    else
        Write(std::get<WriteRequest>(*request));
    return true;
}

void FrameHandler::Write(const WriteRequest& request) {
    if (!onWrite_) return;
    onWrite_({request.address, registry_.FindByAddress(request.address),
              WriteValueText(request.code, request.value.data())});
}

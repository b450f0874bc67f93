#include "serverhost/host_command_line.h"

#include <charconv>

namespace {

bool ParseNumber(const std::string& text, unsigned max, unsigned* value) {
    unsigned parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || parsed > max) return false;
    *value = parsed;
    return true;
}

}  // namespace

HostCommandLine ParseHostCommandLine(const std::vector<std::string>& arguments) {
    HostCommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--exit-when-idle") {
            line.exitWhenIdle = true;
        } else if (argument == "--local") {
            line.local = true;
        } else if (argument == "--plain-tcp") {
            line.plainTcp = true;
        } else if (argument == "--tls-cert" && hasValue) {
            line.host.tls.certificate = arguments[++i];
        } else if (argument == "--tls-key" && hasValue) {
            line.host.tls.privateKey = arguments[++i];
        } else if (argument == "--tls-ca" && hasValue) {
            line.host.tls.trustedCa = arguments[++i];
        } else if (argument == "--listen" && hasValue) {
            line.host.listenAddress = arguments[++i];
        } else if (argument == "--port" && hasValue) {
            if (!ParseNumber(arguments[++i], 65535, &line.host.port)) line.error = "bad port: " + arguments[i];
        } else if (argument == "--allow" && hasValue) {
            line.host.allowedClients.push_back(arguments[++i]);
        } else if (argument == "--persist-dir" && hasValue) {
            line.host.persistDir = arguments[++i];
        } else if (argument == "--max-clients" && hasValue) {
            unsigned count = 0;
            if (!ParseNumber(arguments[++i], 100000, &count) || count == 0)
                line.error = "bad client count: " + arguments[i];
            line.host.maxConnections = count;
        } else if (argument == "--idle-timeout" && hasValue) {
            unsigned seconds = 0;
            if (!ParseNumber(arguments[++i], 86400, &seconds) || seconds < 2)
                line.error = "bad idle timeout: " + arguments[i];
            line.host.idleTimeout = std::chrono::seconds(seconds);
        } else if (argument == "--add-items-delay" && hasValue) {
            if (!ParseNumber(arguments[++i], 600'000, &line.addItemsDelayMs) || line.addItemsDelayMs == 0)
                line.error = "bad delay: " + arguments[i];
        } else if (argument == "--load-tags" && hasValue) {
            if (!ParseNumber(arguments[++i], 10'000'000, &line.loadTags) || line.loadTags == 0)
                line.error = "bad tag count: " + arguments[i];
        } else {
            line.error = "unknown or incomplete option: " + argument;
        }
    }
    if (!line.error.empty() || line.help || line.version) return line;
    const rpc::TlsFiles& tls = line.host.tls;
    if (line.local && (line.plainTcp || !tls.Empty()))
        line.error = "--local takes neither TLS files nor --plain-tcp";
    else if (!tls.Empty() && !tls.Complete())
        line.error = "--tls-cert, --tls-key and --tls-ca go together";
    else if (!tls.Empty() && line.plainTcp)
        line.error = "--plain-tcp and TLS files exclude each other";
    else if (!line.local && tls.Empty() && !line.plainTcp)
        line.error = "say how clients reach the host: --local, or --tls-cert, --tls-key and --tls-ca, or --plain-tcp";
    return line;
}

const char* HostUsage() {
    return "Usage: opcserverd --local | --tls-cert FILE --tls-key FILE --tls-ca FILE | --plain-tcp [options]\n"
           "Serves the simulation OPC DA servers to clients on other computers or in other processes.\n"
           "  --local            serve only this user, on a Unix socket in the user's runtime folder\n"
           "                     (clients name it as the computer \"local\")\n"
           "  --tls-cert FILE    serve on TCP over mutual TLS: the host's certificate (PEM),\n"
           "  --tls-key FILE     its private key (PEM, no pass phrase),\n"
           "  --tls-ca FILE      and the CA certificate (PEM) that every client's certificate must be\n"
           "                     signed by; clients without one are refused\n"
           "  --plain-tcp        serve on TCP without TLS. WARNING: clients are not authenticated and\n"
           "                     nothing is encrypted; anyone who reaches the port can use the servers\n"
           "  --listen ADDRESS   address to listen on (default 127.0.0.1; 0.0.0.0 for every network)\n"
           "  --port N           port to listen on (default 8891)\n"
           "  --allow ADDRESS    let only this client address in (repeat for more; default: any)\n"
           "  --persist-dir DIR  let clients load and save server files by plain name in DIR\n"
           "                     (default: clients have no file access)\n"
           "  --max-clients N    clients served at once; more are turned away (default 64)\n"
           "  --idle-timeout S   cut off a client that sent nothing for S seconds (default 120)\n"
           "  --load-tags N      number of load tags of the default server (Load.T0000...)\n"
           "  --add-items-delay MS  also serve Orvane.SimSlow, whose AddItems takes MS longer, as a\n"
           "                     slow device's would (for load tests)\n"
           "  --exit-when-idle   end a few seconds after the last client has gone\n"
           "  --help             show this text\n"
           "  --version          show the program's version\n";
}

// Mutual TLS between clients and server hosts on other computers: each side presents its own
// certificate and accepts only a peer whose certificate the CA it trusts has signed.
#pragma once

#include <kj/compat/tls.h>

#include <memory>
#include <string>

namespace rpc {

// PEM files: this side's certificate and private key, and the CA certificate that signed the
// other side's.
struct TlsFiles {
    std::string certificate;
    std::string privateKey;
    std::string trustedCa;

    bool Empty() const { return certificate.empty() && privateKey.empty() && trustedCa.empty(); }
    bool Complete() const { return !certificate.empty() && !privateKey.empty() && !trustedCa.empty(); }
};

class TlsCredentials {
public:
    // Reads the three files and checks that the key belongs to the certificate; nullptr with
    // *error naming the file at fault.
    static std::shared_ptr<const TlsCredentials> Load(const TlsFiles& files, std::string* error);

    // A context for one connection's side: it presents this side's certificate, accepts only
    // certificates the CA signed, and as a server asks every client for one. Any thread; the
    // context is then used on that thread's loop only.
    kj::Own<kj::TlsContext> ServerContext() const { return MakeContext(true); }
    kj::Own<kj::TlsContext> ClientContext() const { return MakeContext(false); }

    // The certificate's subject, for the log.
    const std::string& Subject() const { return subject_; }

private:
    TlsCredentials(kj::TlsKeypair keypair, kj::TlsCertificate ca, std::string subject)
        : keypair_(kj::mv(keypair)), ca_(kj::mv(ca)), subject_(std::move(subject)) {}
    kj::Own<kj::TlsContext> MakeContext(bool server) const;

    kj::TlsKeypair keypair_;
    kj::TlsCertificate ca_;
    std::string subject_;
};

}  // namespace rpc

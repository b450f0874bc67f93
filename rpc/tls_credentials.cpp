#include "rpc/tls_credentials.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <optional>

namespace rpc {
namespace {

// PEM files of a certificate or a key are a few kilobytes; anything far larger is not one.
constexpr std::streamoff kMaxPemBytes = 1 << 20;

std::optional<std::string> ReadPem(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": cannot be read";
        return std::nullopt;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || size > kMaxPemBytes) {
        *error = path + ": not a PEM file (too large)";
        return std::nullopt;
    }
    file.seekg(0);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!file.read(text.data(), size)) {
        *error = path + ": cannot be read";
        return std::nullopt;
    }
    return text;
}

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "not understood";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// A key protected by a pass phrase is refused rather than asked for on a terminal that an
// unattended host does not have.
int NoPassPhrase(char*, int, int, void*) {
    return 0;
}

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

std::unique_ptr<BIO, BioFree> MemoryBio(const std::string& text) {
    return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::unique_ptr<X509, X509Free> ParseCertificate(const std::string& pem) {
    auto bio = MemoryBio(pem);
    return std::unique_ptr<X509, X509Free>(bio ? PEM_read_bio_X509(bio.get(), nullptr, NoPassPhrase, nullptr) : nullptr);
}

std::string SubjectOf(X509* certificate) {
    char text[512];
    X509_NAME_oneline(X509_get_subject_name(certificate), text, sizeof text);
    return text;
}

}  // namespace

std::shared_ptr<const TlsCredentials> TlsCredentials::Load(const TlsFiles& files, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (!files.Complete()) {
        *error = "a certificate, its key and the CA certificate are all needed";
        return nullptr;
    }
    const auto certificatePem = ReadPem(files.certificate, error);
    if (!certificatePem) return nullptr;
    const auto keyPem = ReadPem(files.privateKey, error);
    if (!keyPem) return nullptr;
    const auto caPem = ReadPem(files.trustedCa, error);
    if (!caPem) return nullptr;

    ERR_clear_error();
    const auto certificate = ParseCertificate(*certificatePem);
    if (!certificate) {
        *error = files.certificate + ": not a PEM certificate (" + OpenSslError() + ")";
        return nullptr;
    }
    if (!ParseCertificate(*caPem)) {
        *error = files.trustedCa + ": not a PEM certificate (" + OpenSslError() + ")";
        return nullptr;
    }
    auto keyBio = MemoryBio(*keyPem);
    const std::unique_ptr<EVP_PKEY, KeyFree> key(
        keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, NoPassPhrase, nullptr) : nullptr);
    if (!key) {
        *error = files.privateKey + ": not an unencrypted PEM private key (" + OpenSslError() + ")";
        return nullptr;
    }
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        ERR_clear_error();
        *error = files.privateKey + ": not the key of the certificate " + files.certificate;
        return nullptr;
    }
    try {
        kj::TlsKeypair keypair{kj::TlsPrivateKey(keyPem->c_str()), kj::TlsCertificate(certificatePem->c_str())};
        return std::shared_ptr<const TlsCredentials>(
            new TlsCredentials(kj::mv(keypair), kj::TlsCertificate(caPem->c_str()), SubjectOf(certificate.get())));
    } catch (const kj::Exception& e) {
        *error = std::string("the TLS files cannot be used: ") + e.getDescription().cStr();
        return nullptr;
    }
}

kj::Own<kj::TlsContext> TlsCredentials::MakeContext(bool server) const {
    kj::TlsContext::Options options;
    options.useSystemTrustStore = false;  // only the named CA
    options.verifyClients = server;
    options.trustedCertificates = kj::arrayPtr(&ca_, 1);
    options.minVersion = kj::TlsVersion::TLS_1_2;
    options.defaultKeypair = keypair_;
    return kj::heap<kj::TlsContext>(kj::mv(options));
}

}  // namespace rpc
